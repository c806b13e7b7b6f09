#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <sys/wait.h>

namespace svglogger::test {

// A shell command's exit code and what it printed (standard error too).
struct ToolRun {
    int code = -1;
    std::string output;
};

inline ToolRun runTool(const std::string &command)
{
    ToolRun run;
    FILE *pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Whether `program` is on the PATH; the tests that need it fail with this reason when not.
inline std::string missingTool(const char *program, const char *package)
{
    if (runTool(std::string("command -v ") + program).code == 0)
        return {};
    return std::string(program) + " is not installed, and this test needs it: ./scripts/deps.sh installs " + package;
}

// In `folder`, made by openssl: a CA (ca.crt), a server certificate for 127.0.0.1, ::1 and
// localhost (server.crt, server.key), a client certificate of that CA (client.crt,
// client.key) and one of a CA nobody trusts (stranger.crt, stranger.key). Empty when made,
// else what openssl said.
inline std::string makeCertificates(const std::string &folder)
{
    const std::string f = "'" + folder + "'/";
    const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2";
    std::ofstream(folder + "/server.ext") << "subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost\n"
                                             "extendedKeyUsage=serverAuth\n";
    std::ofstream(folder + "/client.ext") << "extendedKeyUsage=clientAuth\n";
    const std::string commands[] = {
        "openssl req -x509" + key + " -keyout " + f + "ca.key -out " + f + "ca.crt -subj /CN=svg-test-ca",
        "openssl req -x509" + key + " -keyout " + f + "other-ca.key -out " + f + "other-ca.crt -subj /CN=svg-other-ca",
        "openssl req" + key + " -keyout " + f + "server.key -out " + f + "server.csr -subj /CN=localhost",
        "openssl x509 -req -days 2 -in " + f + "server.csr -CA " + f + "ca.crt -CAkey " + f + "ca.key -CAcreateserial -out "
            + f + "server.crt -extfile " + f + "server.ext",
        "openssl req" + key + " -keyout " + f + "client.key -out " + f + "client.csr -subj /CN=prometheus",
        "openssl x509 -req -days 2 -in " + f + "client.csr -CA " + f + "ca.crt -CAkey " + f + "ca.key -CAcreateserial -out "
            + f + "client.crt -extfile " + f + "client.ext",
        "openssl req" + key + " -keyout " + f + "stranger.key -out " + f + "stranger.csr -subj /CN=stranger",
        "openssl x509 -req -days 2 -in " + f + "stranger.csr -CA " + f + "other-ca.crt -CAkey " + f
            + "other-ca.key -CAcreateserial -out " + f + "stranger.crt -extfile " + f + "client.ext",
    };
    for (const std::string &command : commands)
        if (const ToolRun run = runTool(command); run.code != 0)
            return command + ": " + run.output;
    return {};
}

// A bcrypt hash of `password` made by Apache's htpasswd (its own bcrypt, not libcrypt's);
// empty when htpasswd failed.
inline std::string bcryptHash(const std::string &password, int cost = 5)
{
    const ToolRun run = runTool("htpasswd -nbBC " + std::to_string(cost) + " u '" + password + "'");
    const std::size_t colon = run.output.find(':');
    if (run.code != 0 || colon == std::string::npos)
        return {};
    std::string hash = run.output.substr(colon + 1);
    while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r'))
        hash.pop_back();
    return hash;
}

} // namespace svglogger::test
