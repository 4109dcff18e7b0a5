#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

// The generic-password items of the login keyring, through the Secret Service.
namespace Keyring {

// What went wrong, with the text the command prints for it.
struct Error : std::runtime_error
{
    enum class Kind { unavailable, failed };
    Error(Kind kind, const std::string &message)
        : std::runtime_error(message)
        , kind(kind)
    {
    }
    Kind kind;
};

// Attributes an item is searched by; an absent one matches any value.
struct Query
{
    std::optional<std::string> service;
    std::optional<std::string> account;
};

struct Item
{
    std::string collection; // the object path of the collection holding the item
    std::string label;
    std::string service;
    std::string account;
    std::uint64_t created = 0; // seconds since the epoch
    std::uint64_t modified = 0;
};

class Session
{
public:
    // Connects to the Secret Service; throws Error(unavailable) when none can be reached.
    Session();
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // The first item matching the query, if any.
    std::optional<Item> find(const Query &query);
    // Its secret, as stored.
    std::string secret(const Query &query);
    // Creates the item in the default collection (the login keyring).
    void create(const std::string &service, const std::string &account, const std::string &secret);
    // Replaces the secret of the first matching item; false when there is none.
    bool update(const Query &query, const std::string &secret);
    // Deletes the first matching item; false when there is none.
    bool remove(const Query &query);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Keyring
