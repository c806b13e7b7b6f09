#pragma once

#include <map>
#include <optional>
#include <string>

namespace svglogger {

// The web configuration file that Prometheus' own exporters read (--web.config.file), as far as
// this endpoint serves it:
//   tls_server_config: cert_file, key_file (PEM), client_ca_file, client_auth_type
//                      (NoClientCert, VerifyClientCertIfGiven, RequireAndVerifyClientCert),
//                      min_version, max_version (TLS10 … TLS13; from TLS12 by default)
//   basic_auth_users:  user: bcrypt hash
// Relative file names are the configuration's folder's. A key the exporters know but this
// endpoint does not serve is an error, as an unknown one is: the operator would trust it.
struct WebConfig {
    enum class ClientAuth { None, VerifyIfGiven, RequireAndVerify };
    struct Tls {
        std::string certPem;              // the server's certificate (and its chain)
        std::string keyPem;
        std::string clientCaPem;          // empty: no client certificates asked for
        ClientAuth clientAuth = ClientAuth::None;
        std::string priorities;           // GnuTLS's priority string for the versions
    };
    std::optional<Tls> tls;
    std::map<std::string, std::string> users; // name → bcrypt hash
    // "<file>: <what>", naming the key and never a hash; empty when the file was taken.
    std::string error;

    static WebConfig read(const std::string &path);
};

} // namespace svglogger
