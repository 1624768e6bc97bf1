#include "ClientSession.h"

#include "Clock.h"
#include "Database.h"
#include "RequestLine.h"
#include "RpcError.h"
#include "Secrets.h"
#include "SessionPool.h"
#include "Store.h"
#include "Trace.h"
#include "wire/Packet.h"
#include "wire/Rpc.h"

#include <atomic>
#include <functional>
#include <nlohmann/json.hpp>
#include <spdlog/spdlog.h>
#include <unordered_map>

namespace appserver {

namespace rpc = wire::rpc;
using nlohmann::json;

namespace {

using ordered_json = nlohmann::ordered_json;

// Failed logins and connects one connection may make before it is closed; each costs the server a
// password hash or a database read, and a real client needs one or two.
constexpr int kMaxFailedAttempts = 5;
constexpr std::size_t kMaxSecretBytes = 256;
constexpr std::size_t kMaxPasswordBytes = 1024;

const char* const kForbiddenWrite = "Usuário sem permissão para alterar tipos de operação.";
const char* const kBadLogin = "Usuário ou senha inválidos.";
const char* const kBadCredential = "Credencial inválida, expirada ou revogada: entre novamente.";
const char* const kExpired = "Sua sessão expirou ou foi encerrada: entre novamente.";

// Texts from the database may hold bytes that are not UTF-8; they are replaced rather than breaking the line.
template <class Json> std::string dumpSafe(const Json& j) {
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string errorText(const json& id, int code, const std::string& message) {
    return dumpSafe(
        ordered_json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

std::string argumentCount(int n) {
    return n == 1 ? "1 argumento" : std::to_string(n) + " argumentos";
}

// A positional argument that must be text. NUL characters are refused: the database drivers cut text there.
const std::string& textArg(const json& args, std::size_t i, std::string_view method) {
    const json& value = args[i];
    if (!value.is_string())
        throw RpcError(rpc::kInvalidParams, "Argumento " + std::to_string(i + 1) + " de " +
                                                std::string(method) + " deve ser texto.");
    const auto& text = value.get_ref<const std::string&>();
    if (text.find('\0') != std::string::npos)
        throw RpcError(rpc::kInvalidParams, "Argumento " + std::to_string(i + 1) + " de " +
                                                std::string(method) + " contém um caractere nulo.");
    return text;
}

wire::ChangePacket packetArg(const json& args, std::size_t i, std::string_view method) {
    const json& value = args[i];
    if (!value.is_object())
        throw RpcError(rpc::kInvalidParams, "Argumento " + std::to_string(i + 1) + " de " +
                                                std::string(method) +
                                                " deve ser um pacote de alterações (objeto JSON).");
    try {
        return wire::changePacketFromJson(value);
    } catch (const wire::FormatError& e) {
        throw RpcError(rpc::kInvalidPacket, std::string("Pacote de alterações inválido em ") +
                                                std::string(method) + ": " + e.what());
    }
}

// A row as field -> text or null (the message line as the screen read it).
wire::Row rowArg(const json& args, std::size_t i, std::string_view method) {
    const json& value = args[i];
    const std::string what = "Argumento " + std::to_string(i + 1) + " de " + std::string(method) +
                             " deve ser a linha como foi lida (objeto de textos).";
    if (!value.is_object()) throw RpcError(rpc::kInvalidParams, what);
    wire::Row row;
    for (auto it = value.begin(); it != value.end(); ++it) {
        if (it.value().is_null())
            row.values.emplace_back(it.key(), std::nullopt);
        else if (it.value().is_string())
            row.values.emplace_back(it.key(), it.value().get<std::string>());
        else
            throw RpcError(rpc::kInvalidParams, what);
    }
    return row;
}

struct Method {
    int minArguments;
    int maxArguments;
    bool writes;
    std::function<std::string(Store&, const json&, const Identity&)> run;
};

Method reader(int arguments, std::function<std::string(Store&, const json&)> run) {
    return {arguments, arguments, false, [run = std::move(run)](Store& s, const json& a, const Identity&) {
                return run(s, a);
            }};
}

const std::unordered_map<std::string_view, Method>& methods() {
    static const std::unordered_map<std::string_view, Method> table = {
        {"GetTipOper", reader(1, [](Store& s, const json& a) { return s.getTipOper(textArg(a, 0, "GetTipOper")); })},
        {"GetFiltro", reader(1, [](Store& s, const json& a) { return s.getFiltro(textArg(a, 0, "GetFiltro")); })},
        {"GetMensTipoOper", reader(2,
                                   [](Store& s, const json& a) {
                                       return s.getMensTipoOper(textArg(a, 0, "GetMensTipoOper"),
                                                                textArg(a, 1, "GetMensTipoOper"));
                                   })},
        {"GetVdCusto", reader(1, [](Store& s, const json& a) { return s.getVdCusto(textArg(a, 0, "GetVdCusto")); })},
        {"GetVdPreco", reader(1, [](Store& s, const json& a) { return s.getVdPreco(textArg(a, 0, "GetVdPreco")); })},
        {"GetVdBonif", reader(2,
                              [](Store& s, const json& a) {
                                  return s.getVdBonif(textArg(a, 0, "GetVdBonif"), textArg(a, 1, "GetVdBonif"));
                              })},
        {"GetPreco", reader(0, [](Store& s, const json&) { return s.getPreco(); })},
        {"GetCusto", reader(0, [](Store& s, const json&) { return s.getCusto(); })},
        {"GetBonificacao",
         reader(1, [](Store& s, const json& a) { return s.getBonificacao(textArg(a, 0, "GetBonificacao")); })},
        {"GetHistTipOper", reader(2,
                                  [](Store& s, const json& a) {
                                      return s.getHistTipOper(textArg(a, 0, "GetHistTipOper"),
                                                              textArg(a, 1, "GetHistTipOper"));
                                  })},
        {"GetUsoTipOper", reader(2,
                                 [](Store& s, const json& a) {
                                     return s.getUsoTipOper(textArg(a, 0, "GetUsoTipOper"),
                                                            textArg(a, 1, "GetUsoTipOper"));
                                 })},
        {"GetVdControleFiscal", reader(2,
                                       [](Store& s, const json& a) {
                                           const bool blocked =
                                               s.getVdControleFiscal(textArg(a, 0, "GetVdControleFiscal"),
                                                                     textArg(a, 1, "GetVdControleFiscal"));
                                           return std::string(blocked ? "true" : "false");
                                       })},
        {"SetTipOper",
         {2, 2, true,
          [](Store& s, const json& a, const Identity& who) {
              // Both arguments are checked before anything is written.
              const auto packet = packetArg(a, 0, "SetTipOper");
              const auto& emptyFields = textArg(a, 1, "SetTipOper");
              s.setTipOper(packet, emptyFields, who);
              // stCampoNull is passed by reference; the server leaves it as it came.
              std::string out = "{\"stCampoNull\":";
              wire::appendJsonString(out, emptyFields);
              out.push_back('}');
              return out;
          }}},
        {"SetMensTipOper",
         {7, 8, true,
          [](Store& s, const json& a, const Identity& who) {
              constexpr std::string_view m = "SetMensTipOper";
              MessageLineArgs line{textArg(a, 0, m), textArg(a, 1, m), textArg(a, 2, m),
                                   textArg(a, 3, m), textArg(a, 4, m), textArg(a, 5, m)};
              std::optional<wire::Row> original;
              if (a.size() == 8) {
                  original = rowArg(a, 7, m);
                  line.original = &*original;
              }
              if (line.operation == "D") {
                  const auto packet = packetArg(a, 6, m);
                  s.setMensTipOper(line, &packet, who);
              } else {
                  if (line.operation == "C" &&
                      !(a[6].is_string() && a[6].get_ref<const std::string&>().empty()))
                      throw RpcError(rpc::kInvalidParams,
                                     "Argumento 7 de SetMensTipOper deve ser texto vazio na operação \"C\".");
                  s.setMensTipOper(line, nullptr, who);
              }
              return std::string("{}");
          }}},
    };
    return table;
}

// Members whose values are secrets: the trace shows that they came, never what they were.
bool secretMember(std::string_view key) {
    return key == "password" || key == "ticket" || key == "token";
}

// Trace arguments: texts and numbers as they came; a change packet only by its number of changes of each
// kind; any other structure by its kind alone (a deeply nested argument is never walked).
ordered_json traceValue(const json& arg) {
    if (arg.is_primitive()) return ordered_json::parse(arg.dump());
    if (arg.is_object()) {
        const auto changes = arg.find("changes");
        if (changes == arg.end() || !changes->is_array()) return ordered_json{{"object", arg.size()}};
        int counts[3] = {0, 0, 0};
        for (const auto& c : *changes) {
            const auto op = c.is_object() ? c.find("op") : c.end();
            if (!c.is_object() || op == c.end() || !op->is_string()) continue;
            if (*op == "insert")
                ++counts[0];
            else if (*op == "modify")
                ++counts[1];
            else if (*op == "delete")
                ++counts[2];
        }
        return ordered_json{{"changes", changes->size()},
                            {"insert", counts[0]},
                            {"modify", counts[1]},
                            {"delete", counts[2]}};
    }
    return ordered_json{{"array", arg.size()}};
}

ordered_json traceArguments(const json* params) {
    if (!params) return nullptr;
    if (params->is_array()) {
        ordered_json out = ordered_json::array();
        for (const auto& arg : *params)
            out.push_back(traceValue(arg));
        return out;
    }
    if (params->is_object()) {
        ordered_json out = ordered_json::object();
        for (auto it = params->begin(); it != params->end(); ++it)
            out[it.key()] = secretMember(it.key()) ? ordered_json("***") : traceValue(it.value());
        return out;
    }
    return traceValue(*params);
}

// The text member `name` of an object of params; null when absent, RpcError when not text.
const std::string* textMember(const json& params, const char* name, std::string_view method,
                              std::size_t maxBytes) {
    const auto it = params.find(name);
    if (it == params.end() || it->is_null()) return nullptr;
    if (!it->is_string() || it->get_ref<const std::string&>().size() > maxBytes)
        throw RpcError(rpc::kInvalidParams, std::string(method) + ": \"" + name + "\" deve ser texto de até " +
                                                std::to_string(maxBytes) + " bytes.");
    return &it->get_ref<const std::string&>();
}

const json& objectParams(const json* params, std::string_view method, const std::string& shape) {
    if (!params || !params->is_object())
        throw RpcError(rpc::kInvalidParams, std::string(method) + " espera " + shape + ".");
    return *params;
}

// A number for each database failure reported, shown to the user and written in the log beside the
// details, so that support finds the one without the user ever seeing the other.
std::atomic<unsigned> failureReference{0};

} // namespace

struct ClientSession::Call {
    Request request;
    json id = nullptr;
    std::string method;
    const json* params = nullptr;
};

ClientSession::ClientSession(const ServerContext& context, std::string peer)
    : context_(context), peer_(std::move(peer)) {}

ClientSession::~ClientSession() = default;

std::size_t ClientSession::maxLineBytes() const {
    return connected_ ? rpc::kMaxRequestBytes : rpc::kMaxUnauthenticatedBytes;
}

void ClientSession::authFailed() {
    if (++failedAttempts_ >= kMaxFailedAttempts && !connected_) {
        spdlog::warn("{}: {} tentativas de autenticação recusadas; conexão encerrada", peer_, failedAttempts_);
        closing_ = true;
    }
}

std::string ClientSession::connect(Call& call) {
    const json& params = objectParams(call.params, "connect",
                                      "{\"server\": \"" + std::string(rpc::kServerName) +
                                          "\", \"ticket\": T} ou {\"server\": ..., \"token\": T}");
    const auto server = params.find("server");
    if (server == params.end() || !server->is_string())
        throw RpcError(rpc::kInvalidParams,
                       "connect espera {\"server\": \"" + std::string(rpc::kServerName) + "\", ...}.");
    const auto& name = server->get_ref<const std::string&>();
    if (name != rpc::kServerName)
        throw RpcError(rpc::kUnknownServer, "Servidor desconhecido: " + shown(name) + ". Este servidor atende " +
                                                std::string(rpc::kServerName) + ".");
    const std::string* ticket = textMember(params, "ticket", "connect", kMaxSecretBytes);
    const std::string* token = textMember(params, "token", "connect", kMaxSecretBytes);
    if (ticket && token)
        throw RpcError(rpc::kInvalidParams, "connect aceita \"ticket\" ou \"token\", não os dois.");
    if (!ticket && !token) {
        authFailed();
        throw RpcError(rpc::kNotAuthenticated,
                       "Conexão sem credencial: informe o \"ticket\" obtido em Login ou um \"token\" de acesso.");
    }
    const CredentialKind kind = ticket ? CredentialKind::Ticket : CredentialKind::Token;
    const std::string hash = secrets::secretHash(ticket ? *ticket : *token);

    // The same credential again on a live connection is the cheapest call there is.
    if (!(connected_ && kind == kind_ && secrets::sameHash(hash, credentialHash_))) {
        std::optional<Identity> who;
        {
            auto lease = context_.pool->borrow();
            if (kind == CredentialKind::Ticket) {
                const auto now = unixNow();
                who = lease->accounts.ticketOwner(hash, now, now - context_.auth.ticketIdle.count());
            } else {
                who = lease->accounts.tokenOwner(hash);
            }
        }
        if (!who) {
            authFailed();
            spdlog::info("{}: connect recusado: credencial inválida, expirada ou revogada", peer_);
            throw RpcError(rpc::kNotAuthenticated, kBadCredential);
        }
        if (!connected_ || identity_ != who)
            spdlog::info("{}: {} ({}) conectado a {}", peer_, who->user, roleName(who->role), rpc::kServerName);
        identity_ = std::move(who);
        kind_ = kind;
        credentialHash_ = hash;
        checkedAt_ = std::chrono::steady_clock::now();
        connected_ = true;
        expired_ = false;
    }
    std::string out = "{\"server\":";
    wire::appendJsonString(out, rpc::kServerName);
    out += ",\"user\":";
    wire::appendJsonString(out, identity_->user);
    out += ",\"role\":";
    wire::appendJsonString(out, roleName(identity_->role));
    out.push_back('}');
    return out;
}

std::string ClientSession::login(Call& call) {
    const json& params = objectParams(call.params, "Login", "{\"user\": U, \"password\": P}");
    const std::string* user = textMember(params, "user", "Login", 256);
    const std::string* password = textMember(params, "password", "Login", kMaxPasswordBytes);
    if (!user || !password) throw RpcError(rpc::kInvalidParams, "Login espera {\"user\": U, \"password\": P}.");

    if (!context_.loginSlots->try_acquire())
        throw RpcError(rpc::kStorageError, "O servidor está ocupado com outras entradas: tente de novo em instantes.");
    struct Release {
        std::counting_semaphore<>& slots;
        ~Release() { slots.release(); }
    } releaseLogin{*context_.loginSlots};

    std::optional<Accounts::Login> found;
    if (validUserName(*user)) {
        auto lease = context_.pool->borrow();
        found = lease->accounts.loginOf(*user);
    }
    // No database session is held while the hash is computed: it takes tens of milliseconds.
    bool accepted = false;
    {
        context_.passwordSlots->acquire();
        Release releaseHash{*context_.passwordSlots};
        if (found && found->passwordHash)
            accepted = secrets::verifyPassword(*found->passwordHash, *password);
        else
            secrets::spendVerification(*password);
    }
    if (!accepted || !found->active) {
        authFailed();
        spdlog::info("{}: login recusado para {}", peer_, shown(*user, 64));
        throw RpcError(rpc::kNotAuthenticated, kBadLogin);
    }
    std::string ticket;
    {
        auto lease = context_.pool->borrow();
        const auto now = unixNow();
        ticket = lease->accounts.newTicket(found->who.user, now, now - context_.auth.ticketIdle.count());
    }
    spdlog::info("{}: login de {} ({})", peer_, found->who.user, roleName(found->who.role));
    std::string out = "{\"ticket\":";
    wire::appendJsonString(out, ticket);
    out += ",\"user\":";
    wire::appendJsonString(out, found->who.user);
    out += ",\"role\":";
    wire::appendJsonString(out, roleName(found->who.role));
    out.push_back('}');
    return out;
}

std::string ClientSession::logout(Call& call) {
    const json& params = objectParams(call.params, "Logout", "{\"ticket\": T}");
    const std::string* ticket = textMember(params, "ticket", "Logout", kMaxSecretBytes);
    if (!ticket) throw RpcError(rpc::kInvalidParams, "Logout espera {\"ticket\": T}.");
    const std::string hash = secrets::secretHash(*ticket);
    {
        auto lease = context_.pool->borrow();
        lease->accounts.dropTicket(hash);
    }
    // This connection, if it used that ticket, finds out at its next call.
    if (connected_ && kind_ == CredentialKind::Ticket && secrets::sameHash(hash, credentialHash_))
        checkedAt_ = {};
    return "{}";
}

void ClientSession::recheck(Accounts& accounts) {
    const auto now = std::chrono::steady_clock::now();
    if (now - checkedAt_ < context_.auth.recheck) return;
    std::optional<Identity> who;
    if (kind_ == CredentialKind::Ticket) {
        const auto seconds = unixNow();
        who = accounts.ticketOwner(credentialHash_, seconds, seconds - context_.auth.ticketIdle.count());
    } else {
        who = accounts.tokenOwner(credentialHash_);
    }
    if (!who) {
        spdlog::info("{}: a credencial de {} deixou de valer; conexão de volta ao início", peer_,
                     identity_ ? identity_->user : std::string("?"));
        connected_ = false;
        expired_ = true;
        identity_.reset();
        credentialHash_.clear();
        throw RpcError(rpc::kNotAuthenticated, kExpired);
    }
    if (who != identity_)
        spdlog::info("{}: {} agora com o papel {}", peer_, who->user, roleName(who->role));
    identity_ = std::move(who);
    checkedAt_ = now;
}

std::string ClientSession::dispatch(Call& call) {
    if (call.method == "connect") return connect(call);
    if (call.method == "Login") return login(call);
    if (call.method == "Logout") return logout(call);

    const auto& table = methods();
    const auto it = table.find(call.method);
    if (it == table.end())
        throw RpcError(rpc::kMethodNotFound, "Método desconhecido: " + shown(call.method) + ".");
    if (!connected_) {
        if (expired_) throw RpcError(rpc::kNotAuthenticated, kExpired);
        throw RpcError(rpc::kNotConnected, "Conexão não iniciada: chame connect com o servidor " +
                                               std::string(rpc::kServerName) + " antes de " + call.method + ".");
    }
    auto lease = context_.pool->borrow();
    recheck(lease->accounts);
    const Method& method = it->second;
    if (method.writes && !canWrite(identity_->role)) throw RpcError(rpc::kForbidden, kForbiddenWrite);
    static const json kNoArguments = json::array();
    const json& args = call.params ? *call.params : kNoArguments;
    if (!args.is_array())
        throw RpcError(rpc::kInvalidParams, call.method + " espera os argumentos numa lista (posicionais).");
    const auto count = static_cast<int>(args.size());
    if (count < method.minArguments || count > method.maxArguments) {
        const std::string expected = method.minArguments == method.maxArguments
                                         ? argumentCount(method.minArguments)
                                         : std::to_string(method.minArguments) + " ou " +
                                               argumentCount(method.maxArguments);
        throw RpcError(rpc::kInvalidParams,
                       call.method + " espera " + expected + ", recebeu " + std::to_string(args.size()) + ".");
    }
    return method.run(lease->store, args, *identity_);
}

ClientSession::Answer ClientSession::handle(std::string_view line) {
    const auto wall = std::chrono::system_clock::now();
    const auto started = std::chrono::steady_clock::now();
    Call call;
    std::string response;
    int code = 0;
    std::string message;
    try {
        auto read = readRequest(line);
        if (auto* refused = std::get_if<LineRefusal>(&read)) {
            if (!connected_ && !refused->object) {
                // Not a client of this protocol: nothing of what it sends is answered or run.
                spdlog::info("{}: linha que não é um pedido JSON-RPC antes do connect; conexão encerrada", peer_);
                return {{}, true};
            }
            call.id = refused->id;
            throw RpcError(refused->code, refused->message);
        }
        call.request = std::move(std::get<Request>(read));
        call.id = call.request.id;
        call.method = call.request.method;
        if (call.request.hasParams) call.params = &call.request.params;
        const std::string result = dispatch(call);
        response.reserve(result.size() + 48);
        response = "{\"jsonrpc\":\"2.0\",\"id\":";
        response += dumpSafe(call.id);
        response += ",\"result\":";
        response += result;
        response.push_back('}');
    } catch (const RpcError& e) {
        code = e.code();
        message = e.what();
    } catch (const PoolExhausted& e) {
        code = rpc::kStorageError;
        message = "O servidor está ocupado: tente de novo em instantes.";
        spdlog::warn("{}: {}: {}", peer_, call.method, e.what());
    } catch (const std::exception& e) {
        // Neither the database's text nor the library's reaches the client: it may name hosts, ports and
        // database users. The reference ties the user's message to the log's details.
        const unsigned reference = ++failureReference;
        if (!isDatabaseError(e)) {
            code = rpc::kInternalError;
            message = "Erro interno do servidor (referência " + std::to_string(reference) + ").";
            spdlog::error("{}: {} falhou (referência {}): {}", peer_,
                          call.method.empty() ? "requisição" : call.method, reference, e.what());
        } else {
            code = rpc::kStorageError;
            message = classifyDbFailure(e) == DbFailure::Busy
                          ? "A base de dados está ocupada por outra gravação; tente de novo."
                          : "Falha na base de dados; nada foi gravado (referência " + std::to_string(reference) +
                                ").";
            spdlog::error("{}: {} falhou na base de dados (referência {})", peer_,
                          call.method.empty() ? "requisição" : call.method, reference);
            spdlog::debug("{}: referência {}: {}", peer_, reference, e.what());
        }
    }
    if (code != 0) response = errorText(call.id, code, message);

    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started).count();
    if (spdlog::should_log(spdlog::level::debug)) {
        if (code == 0)
            spdlog::debug("{}: {} ok em {} µs", peer_, call.method, micros);
        else
            spdlog::debug("{}: {} recusado ({}) em {} µs: {}", peer_, call.method, code, micros, message);
    }
    if (context_.trace) writeTrace(call, code, message, wall, micros);
    return {std::move(response), closing_};
}

void ClientSession::writeTrace(const Call& call, int code, const std::string& message,
                               std::chrono::system_clock::time_point wall, long long micros) {
    ordered_json record = {
        {"time", isoTimestamp(wall)},
        {"peer", peer_},
        {"user", identity_ ? ordered_json(identity_->user) : ordered_json(nullptr)},
        {"operation", call.method.empty() ? ordered_json(nullptr) : ordered_json(call.method)},
        {"arguments", traceArguments(call.params)},
        {"outcome", code == 0 ? ordered_json("ok") : ordered_json{{"code", code}, {"message", message}}},
        {"duration_us", micros}};
    context_.trace->write(dumpSafe(record));
}

ClientSession::Answer ClientSession::refuseOversized(std::size_t bytes) {
    if (!connected_) {
        spdlog::info("{}: linha de {} bytes ou mais antes do connect; conexão encerrada", peer_, bytes);
        return {{}, true};
    }
    const std::string message = "Requisição com mais de " + std::to_string(rpc::kMaxRequestBytes) +
                                " bytes recusada (" + std::to_string(bytes) +
                                " bytes ou mais); a linha foi descartada.";
    spdlog::warn("{}: {}", peer_, message);
    if (context_.trace) writeTrace(Call{}, rpc::kRequestTooLarge, message, std::chrono::system_clock::now(), 0);
    return {errorText(nullptr, rpc::kRequestTooLarge, message), false};
}

} // namespace appserver
