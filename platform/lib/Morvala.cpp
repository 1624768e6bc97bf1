#include "lib/Morvala.h"

#include "toolkit/Application.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <toml++/toml.h>

namespace Morvala {

namespace {

std::mutex configMutex;
HostConfig installed;

std::optional<std::string> environment(const char* name) {
    // NOTE: getenv is safe against concurrent readers; the host sets nothing after it starts serving.
    if (const char* value = std::getenv(name); value && *value) return std::string(value);
    return std::nullopt;
}

struct FileValues {
    std::optional<std::string> appServer;
    std::optional<std::string> databaseURL;
    std::optional<std::string> token;
};

FileValues readConfigFile() {
    const auto named = environment("TIPOPER_CONFIG");
    const std::string path = named.value_or("tipoper.toml");
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        if (named)
            throw lib::ConfigError("Arquivo de configuração não encontrado: " + path +
                                   " (indicado por TIPOPER_CONFIG)");
        return {};
    }
    toml::table table;
    try {
        table = toml::parse_file(path);
    } catch (const toml::parse_error& e) {
        throw lib::ConfigError("Arquivo de configuração inválido " + path + ": " +
                               std::string(e.description()));
    }
    auto text = [&](const char* key) -> std::optional<std::string> {
        const auto node = table[key];
        if (!node) return std::nullopt;
        if (const auto value = node.value<std::string>()) return *value;
        throw lib::ConfigError("Arquivo de configuração " + path + ": o valor de \"" + key +
                               "\" deve ser um texto");
    };
    return {text("appserver"), text("db"), text("appserver_token")};
}

std::optional<std::string> installedValue(std::optional<std::string> HostConfig::*member) {
    std::lock_guard lock(configMutex);
    return installed.*member;
}

} // namespace

Address parseAddress(std::string_view text, std::string_view origin) {
    auto fail = [&]() -> Address {
        throw lib::ConfigError("Endereço do servidor de aplicação inválido em " + std::string(origin) +
                               ": \"" + std::string(text) + "\" (esperado host:porta)");
    };
    Address address;
    std::string_view portText;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos) return fail();
        address.host = std::string(text.substr(1, close - 1));
        const auto rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return fail();
            portText = rest.substr(1);
        }
    } else {
        const auto colon = text.rfind(':');
        // A bare IPv6 address is ambiguous ("::1" or host ":" port 1); it must come in brackets.
        if (colon != std::string_view::npos && text.find(':') != colon) return fail();
        if (colon == std::string_view::npos) {
            address.host = std::string(text);
        } else {
            address.host = std::string(text.substr(0, colon));
            portText = text.substr(colon + 1);
            if (portText.empty()) return fail();
        }
    }
    if (address.host.empty()) return fail();
    if (!portText.empty()) {
        int port = 0;
        const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (ec != std::errc() || end != portText.data() + portText.size() || port < 1 || port > 65535)
            return fail();
        address.port = port;
    }
    return address;
}

namespace {

int parsePoolSize(std::string_view text, std::string_view origin) {
    int size = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (ec != std::errc() || end != text.data() + text.size() || size < 1 || size > kMaxDatabasePoolSize)
        throw lib::ConfigError("Tamanho do pool de sessões da base de dados inválido em " + std::string(origin) +
                               ": \"" + std::string(text) + "\" (esperado um número de 1 a " +
                               std::to_string(kMaxDatabasePoolSize) + ")");
    return size;
}

} // namespace

void setHostConfig(HostConfig config) {
    if (config.appServer) parseAddress(*config.appServer, "configuração do host");
    if (config.databasePoolSize)
        parsePoolSize(std::to_string(*config.databasePoolSize), "configuração do host");
    std::lock_guard lock(configMutex);
    installed = std::move(config);
}

HostConfig hostConfig() {
    std::lock_guard lock(configMutex);
    return installed;
}

Address AppServerAddress() {
    if (auto value = installedValue(&HostConfig::appServer))
        return parseAddress(*value, "configuração do host");
    if (auto value = environment("TIPOPER_APPSERVER")) return parseAddress(*value, "TIPOPER_APPSERVER");
    if (auto value = readConfigFile().appServer) return parseAddress(*value, "arquivo de configuração");
    return {kDefaultHost, kDefaultPort};
}

std::string WebURL() {
    return AppServerAddress().host;
}

int WebPort() {
    return AppServerAddress().port;
}

std::string DatabaseURL() {
    if (auto value = installedValue(&HostConfig::databaseURL)) return *value;
    if (auto value = environment("TIPOPER_DB")) return *value;
    if (auto value = readConfigFile().databaseURL) return *value;
    return kDefaultDatabaseURL;
}

int DatabasePoolSize() {
    {
        std::lock_guard lock(configMutex);
        if (installed.databasePoolSize) return *installed.databasePoolSize;
    }
    if (auto value = environment("TIPOPER_DB_POOL")) return parsePoolSize(*value, "TIPOPER_DB_POOL");
    return kDefaultDatabasePoolSize;
}

namespace {

// What the host set for one client: its credential and its user. Kept in the client's application, so
// that it lives and dies with the client; read and written under the configuration's lock, since the
// host may set it from another thread than the client's.
struct ClientState {
    std::optional<Credential> credential;
    std::optional<ClientUser> user;
};

ClientState& stateOf(tk::Application& client) {
    std::any& slot = client.serverCredential();
    if (!std::any_cast<ClientState>(&slot)) slot = ClientState{};
    return *std::any_cast<ClientState>(&slot);
}

} // namespace

void setClientCredential(tk::Application& client, std::optional<Credential> credential) {
    std::lock_guard lock(configMutex);
    stateOf(client).credential = std::move(credential);
}

void setClientUser(tk::Application& client, std::optional<ClientUser> user) {
    std::lock_guard lock(configMutex);
    stateOf(client).user = std::move(user);
}

std::optional<ClientUser> CurrentUser() {
    auto* client = tk::Application::currentOrNull();
    if (!client) return std::nullopt;
    std::lock_guard lock(configMutex);
    const auto* state = std::any_cast<ClientState>(&client->serverCredential());
    return state ? state->user : std::nullopt;
}

std::optional<Credential> AppServerCredential() {
    if (auto* client = tk::Application::currentOrNull()) {
        std::lock_guard lock(configMutex);
        if (const auto* state = std::any_cast<ClientState>(&client->serverCredential()); state && state->credential)
            return state->credential;
    }
    {
        std::lock_guard lock(configMutex);
        if (installed.credential) return installed.credential;
    }
    if (auto value = environment("TIPOPER_APPSERVER_TOKEN")) return Credential{Credential::Kind::Token, *value};
    if (auto value = readConfigFile().token) return Credential{Credential::Kind::Token, *value};
    return std::nullopt;
}

void AtualizaLocalCache(const std::vector<std::string>& tables) {
    tk::Application::current().notifyCacheStale(tables);
}

} // namespace Morvala
