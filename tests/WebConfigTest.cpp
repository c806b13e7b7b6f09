#include "metrics/ScraperAuth.h"
#include "metrics/WebConfig.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace svglogger {
namespace {

// A folder of its own with the certificates openssl made and a hash htpasswd made.
struct WebConfigFolder : ::testing::Test {
    std::string folder;
    std::string hash;
    void SetUp() override
    {
        for (const auto &[program, package] : {std::pair{"openssl", "openssl"}, {"htpasswd", "apache2-utils"}})
            ASSERT_EQ(test::missingTool(program, package), "");
        char name[] = "/tmp/svg-web-config-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        folder = name;
        ASSERT_EQ(test::makeCertificates(folder), "");
        hash = test::bcryptHash("s3cret");
        ASSERT_TRUE(hash.starts_with("$2y$05$")) << hash;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string write(const std::string &text)
    {
        const std::string path = folder + "/web.yml";
        std::ofstream(path) << text;
        return path;
    }
};

// The exporters' own example, with the relative file names of the configuration's folder.
TEST_F(WebConfigFolder, TlsClientCaAndUsersAreTaken)
{
    const WebConfig config = WebConfig::read(write("tls_server_config:\n  cert_file: server.crt\n  key_file: " + folder
                                                   + "/server.key\n  client_ca_file: ca.crt\n"
                                                   "  client_auth_type: RequireAndVerifyClientCert\n"
                                                   "basic_auth_users:\n  prom: " + hash + "\n  grafana: '" + hash + "'\n"));
    ASSERT_EQ(config.error, "");
    ASSERT_TRUE(config.tls);
    EXPECT_EQ(config.tls->clientAuth, WebConfig::ClientAuth::RequireAndVerify);
    EXPECT_EQ(config.tls->certPem, test::runTool("cat '" + folder + "/server.crt'").output);
    EXPECT_EQ(config.tls->clientCaPem, test::runTool("cat '" + folder + "/ca.crt'").output);
    EXPECT_EQ(config.tls->priorities, "NORMAL:-VERS-ALL:+VERS-TLS1.2:+VERS-TLS1.3");
    EXPECT_EQ(config.users.size(), 2u);
    EXPECT_EQ(config.users.at("grafana"), hash);

    const WebConfig usersOnly = WebConfig::read(write("basic_auth_users:\n  prom: " + hash + "\n"));
    EXPECT_EQ(usersOnly.error, "");
    EXPECT_FALSE(usersOnly.tls);
    const WebConfig versions = WebConfig::read(
        write("tls_server_config:\n  cert_file: server.crt\n  key_file: server.key\n  min_version: TLS13\n"));
    ASSERT_EQ(versions.error, "");
    EXPECT_EQ(versions.tls->priorities, "NORMAL:-VERS-ALL:+VERS-TLS1.3");
    EXPECT_EQ(versions.tls->clientAuth, WebConfig::ClientAuth::None);
}

// Each fault names the file and what is wrong in it, and never shows a hash or a key.
TEST_F(WebConfigFolder, EachFaultIsNamedWithItsFileAndNoSecret)
{
    const std::string tls = "tls_server_config:\n  cert_file: server.crt\n  key_file: server.key\n";
    struct Case {
        std::string text;
        std::string error; // after "<file>: "; ending in ": ", GnuTLS's reason follows
    };
    const Case cases[] = {
        {"tls_server_config:\n  cert_file: server.crt\n  key_file: nowhere.key\n",
         "tls_server_config: key_file: " + folder + "/nowhere.key cannot be read: No such file or directory"},
        {"tls_server_config:\n  cert_file: server.crt\n  key_file: client.key\n",
         "tls_server_config: cert_file server.crt and key_file client.key are no certificate and its key (PEM): "},
        {"tls_server_config:\n  cert_file: server.ext\n  key_file: server.key\n",
         "tls_server_config: cert_file server.ext and key_file server.key are no certificate and its key (PEM): "},
        {"tls_server_config:\n  key_file: server.key\n", "tls_server_config needs cert_file and key_file"},
        {tls + "  client_auth_type: RequireAndVerifyClientCert\n",
         "tls_server_config: client_auth_type RequireAndVerifyClientCert needs client_ca_file"},
        {tls + "  client_ca_file: ca.crt\n", "tls_server_config: client_ca_file is given without a client_auth_type that uses it"},
        {tls + "  client_auth_type: RequireAnyClientCert\n  client_ca_file: ca.crt\n",
         "tls_server_config: client_auth_type RequireAnyClientCert is not served by svg-logger-headless (a certificate "
         "no CA vouches for proves nothing): NoClientCert, VerifyClientCertIfGiven or RequireAndVerifyClientCert"},
        {tls + "  client_auth_type: Sometimes\n", "tls_server_config: client_auth_type takes NoClientCert, "
                                                  "VerifyClientCertIfGiven or RequireAndVerifyClientCert, not 'Sometimes'"},
        {tls + "  client_auth_type: VerifyClientCertIfGiven\n  client_ca_file: server.ext\n",
         "tls_server_config: client_ca_file server.ext holds no CA certificate (PEM)"},
        {tls + "  min_version: TLS14\n",
         "tls_server_config: min_version and max_version take TLS10, TLS11, TLS12 or TLS13, not 'TLS14'"},
        {tls + "  min_version: TLS13\n  max_version: TLS12\n", "tls_server_config: min_version TLS13 is above max_version TLS12"},
        {tls + "  cipher_suites: [TLS_AES_128_GCM_SHA256]\n",
         "tls_server_config: cipher_suites is not served by svg-logger-headless (cert_file, key_file, client_ca_file, "
         "client_auth_type, min_version, max_version are)"},
        {tls + "  cert_fle: x\n", "tls_server_config: unknown key 'cert_fle'"},
        {"tls_config:\n  cert_file: server.crt\n", "unknown key 'tls_config'"},
        {"http_server_config:\n  http2: false\n",
         "http_server_config is not served by svg-logger-headless (tls_server_config and basic_auth_users are)"},
        {"basic_auth_users:\n  prom: s3cret\n",
         "basic_auth_users: the hash of user 'prom' is no bcrypt hash ($2y$, $2b$ or $2a$, as htpasswd -nB makes it)"},
        {"basic_auth_users:\n  prom: '" + hash.substr(0, 59) + "'\n",
         "basic_auth_users: the hash of user 'prom' is no bcrypt hash ($2y$, $2b$ or $2a$, as htpasswd -nB makes it)"},
        {"basic_auth_users:\n  prom: '$1$" + hash.substr(3) + "'\n",
         "basic_auth_users: the hash of user 'prom' is no bcrypt hash ($2y$, $2b$ or $2a$, as htpasswd -nB makes it)"},
        {"basic_auth_users: [prom]\n", "basic_auth_users takes user: bcrypt hash lines"},
        {"basic_auth_users:\n  prom: '" + hash + "'\n   bad: [\n", "not YAML at line 3, column 4: end of map not found"},
        {"- a\n- b\n", "takes tls_server_config and basic_auth_users"},
    };
    for (const Case &c : cases) {
        const std::string path = write(c.text);
        const WebConfig config = WebConfig::read(path);
        if (c.error.ends_with(": ")) {
            EXPECT_TRUE(config.error.starts_with(path + ": " + c.error)) << config.error;
            EXPECT_GT(config.error.size(), path.size() + 2 + c.error.size()) << config.error;
        } else {
            EXPECT_EQ(config.error, path + ": " + c.error) << c.text;
        }
        EXPECT_FALSE(config.tls) << c.text;
        EXPECT_TRUE(config.users.empty()) << c.text;
        EXPECT_EQ(config.error.find(hash.substr(7)), std::string::npos) << config.error;
        EXPECT_EQ(config.error.find("s3cret"), std::string::npos) << config.error;
        EXPECT_EQ(config.error.find("PRIVATE KEY"), std::string::npos) << config.error;
    }
    const std::string missing = folder + "/none.yml";
    EXPECT_EQ(WebConfig::read(missing).error, missing + ": cannot be read: No such file or directory");
}

// Passwords against hashes Apache's htpasswd made ($2y$; $2b$ and $2a$ are the same sum for
// ASCII passwords), each user by its own; a plain password as it stands.
TEST_F(WebConfigFolder, PasswordsAreCheckedAgainstTheirUsersHashes)
{
    const std::string other = test::bcryptHash("Pa55:word with spaces", 6);
    ASSERT_FALSE(other.empty());
    std::string hash2b = hash, hash2a = hash;
    hash2b[2] = 'b';
    hash2a[2] = 'a';
    const ScraperAuth auth = ScraperAuth::hashed({{"prom", hash}, {"grafana", other}, {"b", hash2b}, {"a", hash2a}});
    EXPECT_TRUE(auth.required());
    struct Case {
        const char *user;
        const char *password;
        bool allowed;
    };
    const Case cases[] = {
        {"prom", "s3cret", true},   {"prom", "s3cret", true}, // the second from the cache
        {"prom", "S3cret", false},  {"prom", "s3cret ", false}, {"prom", "", false},
        {"grafana", "Pa55:word with spaces", true}, {"grafana", "s3cret", false},
        {"b", "s3cret", true},      {"a", "s3cret", true},      {"nobody", "s3cret", false}, {"", "s3cret", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(auth.allows(c.user, c.password), c.allowed) << c.user << ":" << c.password;

    const ScraperAuth plain = ScraperAuth::plain("prom", "s3cret");
    EXPECT_TRUE(plain.allows("prom", "s3cret"));
    EXPECT_FALSE(plain.allows("prom", "s3cre"));
    EXPECT_FALSE(plain.allows("pro", "s3cret"));
    EXPECT_FALSE(ScraperAuth().required());
}

} // namespace
} // namespace svglogger
