#include "metrics/WebConfig.h"

#include "metrics/ScraperAuth.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <yaml-cpp/yaml.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace svglogger {

namespace {

// What is wrong, thrown from the reading and caught once to become WebConfig::error.
struct Wrong : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Keys of the exporters' web configuration that this endpoint does not serve.
constexpr std::array kTlsNotServed{"cert", "key", "client_ca", "cipher_suites", "curve_preferences",
                                   "prefer_server_cipher_suites", "client_allowed_sans"};
constexpr std::array kTopNotServed{"http_server_config", "rate_limit"};

constexpr std::array<std::pair<const char *, const char *>, 4> kVersions{{
    {"TLS10", "+VERS-TLS1.0"}, {"TLS11", "+VERS-TLS1.1"}, {"TLS12", "+VERS-TLS1.2"}, {"TLS13", "+VERS-TLS1.3"}}};

std::string keyText(const YAML::Node &key)
{
    return key.IsScalar() ? key.Scalar() : std::string("(not a name)");
}

std::string scalar(const YAML::Node &value, const std::string &key)
{
    if (!value.IsScalar() || value.Scalar().empty())
        throw Wrong(key + " takes a value");
    return value.Scalar();
}

template <std::size_t N>
bool among(const std::array<const char *, N> &names, const std::string &key)
{
    for (const char *name : names)
        if (key == name)
            return true;
    return false;
}

std::string fileOf(const std::string &folder, const std::string &name, const std::string &key)
{
    const std::string path = name.starts_with('/') ? name : folder + name;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Wrong(key + ": " + path + " cannot be read: " + std::strerror(errno));
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (text.empty())
        throw Wrong(key + ": " + path + " is empty");
    return text;
}

// GnuTLS is the library that serves the TLS: whatever it would refuse at the first
// connection is refused here, at start.
void checkWithGnutls(const WebConfig::Tls &tls, const std::string &certFile, const std::string &keyFile,
                     const std::string &caFile)
{
    gnutls_certificate_credentials_t credentials = nullptr;
    gnutls_certificate_allocate_credentials(&credentials);
    const auto datum = [](const std::string &text) {
        return gnutls_datum_t{reinterpret_cast<unsigned char *>(const_cast<char *>(text.data())),
                              static_cast<unsigned int>(text.size())};
    };
    const gnutls_datum_t cert = datum(tls.certPem), key = datum(tls.keyPem), ca = datum(tls.clientCaPem);
    std::string problem;
    if (const int result = gnutls_certificate_set_x509_key_mem2(credentials, &cert, &key, GNUTLS_X509_FMT_PEM, nullptr, 0);
        result < 0)
        problem = "tls_server_config: cert_file " + certFile + " and key_file " + keyFile
            + " are no certificate and its key (PEM): " + gnutls_strerror(result);
    else if (!tls.clientCaPem.empty()
             && gnutls_certificate_set_x509_trust_mem(credentials, &ca, GNUTLS_X509_FMT_PEM) <= 0)
        problem = "tls_server_config: client_ca_file " + caFile + " holds no CA certificate (PEM)";
    gnutls_certificate_free_credentials(credentials);
    if (!problem.empty())
        throw Wrong(problem);
}

WebConfig::Tls readTls(const YAML::Node &node, const std::string &folder)
{
    if (!node.IsMap())
        throw Wrong("tls_server_config takes cert_file and key_file");
    WebConfig::Tls tls;
    std::string certFile, keyFile, caFile, clientAuth, minVersion = "TLS12", maxVersion = "TLS13";
    for (const auto &entry : node) {
        const std::string key = keyText(entry.first);
        const std::string where = "tls_server_config: " + key;
        if (key == "cert_file")
            certFile = scalar(entry.second, where);
        else if (key == "key_file")
            keyFile = scalar(entry.second, where);
        else if (key == "client_ca_file")
            caFile = scalar(entry.second, where);
        else if (key == "client_auth_type")
            clientAuth = scalar(entry.second, where);
        else if (key == "min_version")
            minVersion = scalar(entry.second, where);
        else if (key == "max_version")
            maxVersion = scalar(entry.second, where);
        else if (among(kTlsNotServed, key))
            throw Wrong(where + " is not served by svg-logger-headless (cert_file, key_file, client_ca_file, "
                                "client_auth_type, min_version, max_version are)");
        else
            throw Wrong("tls_server_config: unknown key '" + key + "'");
    }
    if (certFile.empty() || keyFile.empty())
        throw Wrong("tls_server_config needs cert_file and key_file");
    if (clientAuth.empty() || clientAuth == "NoClientCert")
        tls.clientAuth = WebConfig::ClientAuth::None;
    else if (clientAuth == "VerifyClientCertIfGiven")
        tls.clientAuth = WebConfig::ClientAuth::VerifyIfGiven;
    else if (clientAuth == "RequireAndVerifyClientCert")
        tls.clientAuth = WebConfig::ClientAuth::RequireAndVerify;
    else if (clientAuth == "RequestClientCert" || clientAuth == "RequireAnyClientCert")
        throw Wrong("tls_server_config: client_auth_type " + clientAuth + " is not served by svg-logger-headless "
                    "(a certificate no CA vouches for proves nothing): NoClientCert, VerifyClientCertIfGiven or "
                    "RequireAndVerifyClientCert");
    else
        throw Wrong("tls_server_config: client_auth_type takes NoClientCert, VerifyClientCertIfGiven or "
                    "RequireAndVerifyClientCert, not '" + clientAuth + "'");
    if (tls.clientAuth != WebConfig::ClientAuth::None && caFile.empty())
        throw Wrong("tls_server_config: client_auth_type " + clientAuth + " needs client_ca_file");
    if (tls.clientAuth == WebConfig::ClientAuth::None && !caFile.empty())
        throw Wrong("tls_server_config: client_ca_file is given without a client_auth_type that uses it");

    int low = -1, high = -1;
    for (std::size_t i = 0; i < kVersions.size(); ++i) {
        if (minVersion == kVersions[i].first)
            low = static_cast<int>(i);
        if (maxVersion == kVersions[i].first)
            high = static_cast<int>(i);
    }
    if (low < 0 || high < 0)
        throw Wrong("tls_server_config: min_version and max_version take TLS10, TLS11, TLS12 or TLS13, not '"
                    + (low < 0 ? minVersion : maxVersion) + "'");
    if (low > high)
        throw Wrong("tls_server_config: min_version " + minVersion + " is above max_version " + maxVersion);
    tls.priorities = "NORMAL:-VERS-ALL";
    for (int i = low; i <= high; ++i)
        tls.priorities += std::string(":") + kVersions[static_cast<std::size_t>(i)].second;

    tls.certPem = fileOf(folder, certFile, "tls_server_config: cert_file");
    tls.keyPem = fileOf(folder, keyFile, "tls_server_config: key_file");
    if (!caFile.empty())
        tls.clientCaPem = fileOf(folder, caFile, "tls_server_config: client_ca_file");
    checkWithGnutls(tls, certFile, keyFile, caFile);
    return tls;
}

std::map<std::string, std::string> readUsers(const YAML::Node &node)
{
    std::map<std::string, std::string> users;
    if (node.IsNull())
        return users;
    if (!node.IsMap())
        throw Wrong("basic_auth_users takes user: bcrypt hash lines");
    for (const auto &entry : node) {
        const std::string user = keyText(entry.first);
        if (user.empty() || user.find(':') != std::string::npos)
            throw Wrong("basic_auth_users: a user name is empty or holds ':'");
        if (!entry.second.IsScalar() || !ScraperAuth::isBcryptHash(entry.second.Scalar()))
            throw Wrong("basic_auth_users: the hash of user '" + user
                        + "' is no bcrypt hash ($2y$, $2b$ or $2a$, as htpasswd -nB makes it)");
        users[user] = entry.second.Scalar();
    }
    return users;
}

} // namespace

WebConfig WebConfig::read(const std::string &path)
{
    WebConfig config;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw Wrong(std::string("cannot be read: ") + std::strerror(errno));
        YAML::Node root;
        try {
            root = YAML::Load(in);
        } catch (const YAML::Exception &error) {
            // The parser's message names the place and the fault, never the text found there.
            throw Wrong("not YAML at line " + std::to_string(error.mark.line + 1) + ", column "
                        + std::to_string(error.mark.column + 1) + ": " + error.msg);
        }
        if (!root.IsNull() && !root.IsMap())
            throw Wrong("takes tls_server_config and basic_auth_users");
        if (root.IsMap()) {
            for (const auto &entry : root) {
                const std::string key = keyText(entry.first);
                if (key == "tls_server_config")
                    config.tls = readTls(entry.second, folder);
                else if (key == "basic_auth_users")
                    config.users = readUsers(entry.second);
                else if (among(kTopNotServed, key))
                    throw Wrong(key + " is not served by svg-logger-headless (tls_server_config and basic_auth_users are)");
                else
                    throw Wrong("unknown key '" + key + "'");
            }
        }
    } catch (const Wrong &wrong) {
        config = {};
        config.error = path + ": " + wrong.what();
    }
    return config;
}

} // namespace svglogger
