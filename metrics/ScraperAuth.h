#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace svglogger {

// Who may scrape (HTTP basic auth): users with bcrypt hashes, as the web configuration's
// basic_auth_users gives them, or one user with a plain-text password (allowed on loopback
// only, which the options see to). Without users everyone may. Safe from any thread.
class ScraperAuth
{
public:
    ScraperAuth() = default;
    static ScraperAuth hashed(std::map<std::string, std::string> users);
    static ScraperAuth plain(std::string user, std::string password);

    bool required() const { return !m_hashes.empty() || !m_user.empty(); }
    bool allows(const std::string &user, const std::string &password) const;

    // Whether `hash` is a bcrypt hash crypt(3) takes: $2y$, $2b$ or $2a$, the cost, 53 characters.
    static bool isBcryptHash(const std::string &hash);

private:
    bool bcryptMatches(const std::string &password, const std::string &hash) const;

    std::map<std::string, std::string> m_hashes;
    std::string m_user;
    std::string m_password;
    // bcrypt is slow by design (tens of milliseconds): the pairs found right are kept, as the
    // exporters' toolkit does, so a scrape every few seconds costs one check, not one each.
    struct Cache {
        std::mutex lock;
        std::set<std::string> allowed; // user, '\0', password
    };
    std::shared_ptr<Cache> m_cache = std::make_shared<Cache>();
};

} // namespace svglogger
