// `security`: the generic-password commands of macOS's /usr/bin/security that Velmora Connect
// and its launcher scripts use, with the same arguments, output and exit statuses, keeping
// the items in the login keyring through the Secret Service.
//
//   security add-generic-password [-U] [-a account] [-s service] -w [password]
//   security find-generic-password [-a account] [-s service] [-w]
//   security delete-generic-password [-a account] [-s service]
//
// A secret is printed only by find with -w, and never to standard error. Where add's -w comes
// last, as when macOS's tool prompts for the password, the password is read from standard
// input (up to its end, less one final line feed), so that it never shows in the process list.

#include "keyring.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace {

// macOS's tool exits with the low byte of the keychain's status code.
constexpr int statusUsage = 2;
constexpr int statusFailed = 1;
constexpr int statusItemNotFound = 44; // errSecItemNotFound
constexpr int statusDuplicateItem = 45; // errSecDuplicateItem
constexpr int statusNotAvailable = 53; // errSecNotAvailable

constexpr const char *notFoundMessage
    = "security: SecKeychainSearchCopyNext: The specified item could not be found in the keychain.\n";
constexpr const char *duplicateMessage = "security: SecKeychainItemCreateFromContent (<default>): The "
                                         "specified item already exists in the keychain.\n";

struct Arguments
{
    Keyring::Query query;
    std::optional<std::string> secret;
    bool update = false; // -U
    bool printSecret = false; // -w on find
};

struct UsageError
{
    std::string message;
};

int usage(const std::string &command, const std::string &message)
{
    if (!message.empty())
        std::fprintf(stderr, "security: %s\n", message.c_str());
    if (command == "add-generic-password")
        std::fputs("Usage: add-generic-password [-U] [-a account] [-s service] -w password\n", stderr);
    else if (command == "find-generic-password")
        std::fputs("Usage: find-generic-password [-a account] [-s service] [-w]\n", stderr);
    else if (command == "delete-generic-password")
        std::fputs("Usage: delete-generic-password [-a account] [-s service]\n", stderr);
    else
        std::fputs("Usage: security add-generic-password|find-generic-password|delete-generic-password ...\n",
            stderr);
    return statusUsage;
}

// The value of add's -w, copied out of argv and wiped there. Done first thing, before
// anything else is read or loaded, so that it leaves the process list as early as it can.
std::optional<std::string> takeSecret(int argc, char **argv)
{
    if (argc < 2 || std::string_view(argv[1]) != "add-generic-password")
        return std::nullopt;
    for (int i = 2; i + 1 < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "-a" || option == "-s") {
            ++i;
        } else if (option == "-w") {
            std::string secret = argv[i + 1];
            std::memset(argv[i + 1], 0, secret.size());
            return secret;
        }
    }
    return std::nullopt;
}

std::string readStandardInput()
{
    std::string text { std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>() };
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

// Options as macOS's tool takes them; `valueOptions` take the following argument. `secret` is
// the value of -w that takeSecret() took out of argv.
Arguments parse(int argc, char **argv, std::string_view valueOptions, std::string_view flagOptions,
    std::optional<std::string> secret = std::nullopt)
{
    Arguments arguments;
    for (int i = 2; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option.size() != 2 || option[0] != '-')
            throw UsageError { "unexpected argument" };
        const char letter = option[1];
        if (flagOptions.find(letter) != std::string_view::npos) {
            if (letter == 'U')
                arguments.update = true;
            else if (letter == 'w')
                arguments.printSecret = true;
            continue;
        }
        if (valueOptions.find(letter) == std::string_view::npos)
            throw UsageError { std::string("illegal option -- ") + letter };
        if (letter == 'w') {
            if (i + 1 < argc) {
                arguments.secret = secret;
                ++i;
            } else {
                arguments.secret = readStandardInput();
            }
            continue;
        }
        if (i + 1 >= argc)
            throw UsageError { std::string("option requires an argument -- ") + letter };
        const char *value = argv[++i];
        if (letter == 'a')
            arguments.query.account = value;
        else
            arguments.query.service = value;
    }
    return arguments;
}

// A value as macOS prints attributes: quoted when printable, else in hex and escaped.
std::string printable(const std::string &value)
{
    bool plain = true;
    for (const unsigned char c : value)
        plain = plain && c >= 0x20 && c < 0x7f;
    if (plain)
        return "\"" + value + "\"";
    std::string hex = "0x";
    std::string escaped;
    char buffer[8];
    for (const unsigned char c : value) {
        std::snprintf(buffer, sizeof buffer, "%02X", c);
        hex += buffer;
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            escaped += static_cast<char>(c);
        } else {
            std::snprintf(buffer, sizeof buffer, "\\%03o", c);
            escaped += buffer;
        }
    }
    return hex + "  \"" + escaped + "\"";
}

std::string timedate(std::uint64_t seconds)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm utc {};
    gmtime_r(&time, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%SZ", &utc);
    return printable(std::string(stamp) + '\0');
}

void printItem(const Keyring::Item &item)
{
    std::printf("keychain: %s\n", printable(item.collection).c_str());
    std::printf("version: 512\n");
    std::printf("class: \"genp\"\n");
    std::printf("attributes:\n");
    std::printf("    0x00000007 <blob>=%s\n", printable(item.label).c_str());
    std::printf("    \"acct\"<blob>=%s\n", printable(item.account).c_str());
    std::printf("    \"cdat\"<timedate>=%s\n", timedate(item.created).c_str());
    std::printf("    \"mdat\"<timedate>=%s\n", timedate(item.modified).c_str());
    std::printf("    \"svce\"<blob>=%s\n", printable(item.service).c_str());
}

int addGenericPassword(const Arguments &arguments)
{
    if (!arguments.secret)
        throw UsageError { "a password must be given with -w" };
    const std::string service = arguments.query.service.value_or("");
    const std::string account = arguments.query.account.value_or("");
    Keyring::Session session;
    const Keyring::Query exact { service, account };
    if (session.find(exact)) {
        if (!arguments.update) {
            std::fputs(duplicateMessage, stderr);
            return statusDuplicateItem;
        }
        if (session.update(exact, *arguments.secret))
            return 0;
    }
    session.create(service, account, *arguments.secret);
    return 0;
}

int findGenericPassword(const Arguments &arguments)
{
    Keyring::Session session;
    const std::optional<Keyring::Item> item = session.find(arguments.query);
    if (!item) {
        std::fputs(notFoundMessage, stderr);
        return statusItemNotFound;
    }
    if (arguments.printSecret) {
        const std::string secret = session.secret(arguments.query);
        std::fwrite(secret.data(), 1, secret.size(), stdout);
        std::fputc('\n', stdout);
    } else {
        printItem(*item);
    }
    return 0;
}

int deleteGenericPassword(const Arguments &arguments)
{
    Keyring::Session session;
    const std::optional<Keyring::Item> item = session.find(arguments.query);
    if (!item || !session.remove(arguments.query)) {
        std::fputs(notFoundMessage, stderr);
        return statusItemNotFound;
    }
    printItem(*item);
    std::printf("password has been deleted.\n");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::optional<std::string> secret = takeSecret(argc, argv);
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "add-generic-password")
            return addGenericPassword(parse(argc, argv, "asw", "U", std::move(secret)));
        if (command == "find-generic-password")
            return findGenericPassword(parse(argc, argv, "as", "w"));
        if (command == "delete-generic-password")
            return deleteGenericPassword(parse(argc, argv, "as", ""));
        return usage(command, command.empty() ? "" : "unknown command");
    } catch (const UsageError &error) {
        return usage(command, error.message);
    } catch (const Keyring::Error &error) {
        if (error.kind == Keyring::Error::Kind::unavailable) {
            std::fprintf(stderr,
                "security: No keychain is available: the Secret Service cannot be reached (%s).\n",
                error.what());
            return statusNotAvailable;
        }
        std::fprintf(stderr, "security: %s\n", error.what());
        return statusFailed;
    }
}
