#include "metrics/ScraperAuth.h"

#include <crypt.h>

#include <cstring>
#include <memory>

namespace svglogger {

namespace {

constexpr std::size_t kCachedPairs = 64;

// A hash to check an unknown user's password against, so that the answer takes as long as
// for a known one and does not tell which user names exist.
constexpr char kNobodyHash[] = "$2y$10$m3REccVAwdPGIpj/OkzM9uHvkCJeWHKqh.cEVqiOR6gwrLu0CwDXa";

// The same length and bytes, in a time that does not depend on where they differ.
bool sameText(const std::string &a, const std::string &b)
{
    unsigned char difference = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ (i < b.size() ? b[i] : 0));
    return difference == 0;
}

} // namespace

ScraperAuth ScraperAuth::hashed(std::map<std::string, std::string> users)
{
    ScraperAuth auth;
    auth.m_hashes = std::move(users);
    return auth;
}

ScraperAuth ScraperAuth::plain(std::string user, std::string password)
{
    ScraperAuth auth;
    auth.m_user = std::move(user);
    auth.m_password = std::move(password);
    return auth;
}

bool ScraperAuth::isBcryptHash(const std::string &hash)
{
    static constexpr char kAlphabet[] = "./ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    if (hash.size() != 60 || !(hash.starts_with("$2y$") || hash.starts_with("$2b$") || hash.starts_with("$2a$"))
        || hash[6] != '$' || hash.find_first_not_of("0123456789", 4) != 6)
        return false;
    const int cost = std::stoi(hash.substr(4, 2));
    return cost >= 4 && cost <= 31 && hash.find_first_not_of(kAlphabet, 7) == std::string::npos;
}

bool ScraperAuth::bcryptMatches(const std::string &password, const std::string &hash) const
{
    // crypt_data is 32 KiB: on the heap, one for each check, so checks never share it.
    const auto data = std::make_unique<crypt_data>();
    const char *result = ::crypt_r(password.c_str(), hash.c_str(), data.get());
    return result && result[0] != '*' && sameText(result, hash);
}

bool ScraperAuth::allows(const std::string &user, const std::string &password) const
{
    if (!m_user.empty())
        return sameText(user, m_user) & sameText(password, m_password);
    if (m_hashes.empty())
        return true;
    const std::string key = user + '\0' + password;
    {
        const std::lock_guard<std::mutex> hold(m_cache->lock);
        if (m_cache->allowed.count(key))
            return true;
    }
    const auto found = m_hashes.find(user);
    const bool known = found != m_hashes.end();
    const bool right = bcryptMatches(password, known ? found->second : kNobodyHash) && known;
    if (right) {
        const std::lock_guard<std::mutex> hold(m_cache->lock);
        if (m_cache->allowed.size() >= kCachedPairs)
            m_cache->allowed.clear();
        m_cache->allowed.insert(key);
    }
    return right;
}

} // namespace svglogger
