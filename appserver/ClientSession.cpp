#include "ClientSession.h"

#include "Clock.h"
#include "Database.h"
#include "RpcError.h"
#include "Store.h"
#include "Trace.h"
#include "wire/Packet.h"
#include "wire/Rpc.h"

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <spdlog/spdlog.h>
#include <unordered_map>

namespace appserver {

namespace rpc = wire::rpc;
using nlohmann::json;

namespace {

using ordered_json = nlohmann::ordered_json;

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

struct Method {
    int arguments;
    std::function<std::string(Store&, const json&)> run;
};

const std::unordered_map<std::string_view, Method>& methods() {
    static const std::unordered_map<std::string_view, Method> table = {
        {"GetTipOper",
         {1, [](Store& s, const json& a) { return s.getTipOper(textArg(a, 0, "GetTipOper")); }}},
        {"GetFiltro", {1, [](Store& s, const json& a) { return s.getFiltro(textArg(a, 0, "GetFiltro")); }}},
        {"GetMensTipoOper",
         {2,
          [](Store& s, const json& a) {
              return s.getMensTipoOper(textArg(a, 0, "GetMensTipoOper"), textArg(a, 1, "GetMensTipoOper"));
          }}},
        {"GetVdCusto",
         {1, [](Store& s, const json& a) { return s.getVdCusto(textArg(a, 0, "GetVdCusto")); }}},
        {"GetVdPreco",
         {1, [](Store& s, const json& a) { return s.getVdPreco(textArg(a, 0, "GetVdPreco")); }}},
        {"GetVdBonif",
         {2,
          [](Store& s, const json& a) {
              return s.getVdBonif(textArg(a, 0, "GetVdBonif"), textArg(a, 1, "GetVdBonif"));
          }}},
        {"GetPreco", {0, [](Store& s, const json&) { return s.getPreco(); }}},
        {"GetCusto", {0, [](Store& s, const json&) { return s.getCusto(); }}},
        {"GetBonificacao",
         {1, [](Store& s, const json& a) { return s.getBonificacao(textArg(a, 0, "GetBonificacao")); }}},
        {"GetVdControleFiscal",
         {2,
          [](Store& s, const json& a) {
              const bool blocked = s.getVdControleFiscal(textArg(a, 0, "GetVdControleFiscal"),
                                                         textArg(a, 1, "GetVdControleFiscal"));
              return std::string(blocked ? "true" : "false");
          }}},
        {"SetTipOper",
         {2,
          [](Store& s, const json& a) {
              // Both arguments are checked before anything is written.
              const auto packet = packetArg(a, 0, "SetTipOper");
              const auto& emptyFields = textArg(a, 1, "SetTipOper");
              s.setTipOper(packet, emptyFields);
              // stCampoNull is passed by reference; the server leaves it as it came.
              std::string out = "{\"stCampoNull\":";
              wire::appendJsonString(out, emptyFields);
              out.push_back('}');
              return out;
          }}},
        {"SetMensTipOper",
         {7,
          [](Store& s, const json& a) {
              constexpr std::string_view m = "SetMensTipOper";
              MessageLineArgs line{textArg(a, 0, m), textArg(a, 1, m), textArg(a, 2, m),
                                   textArg(a, 3, m), textArg(a, 4, m), textArg(a, 5, m)};
              if (line.operation == "D") {
                  const auto packet = packetArg(a, 6, m);
                  s.setMensTipOper(line, &packet);
              } else {
                  if (line.operation == "C" &&
                      !(a[6].is_string() && a[6].get_ref<const std::string&>().empty()))
                      throw RpcError(rpc::kInvalidParams,
                                     "Argumento 7 de SetMensTipOper deve ser texto vazio na operação \"C\".");
                  s.setMensTipOper(line, nullptr);
              }
              return std::string("{}");
          }}},
    };
    return table;
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
            out[it.key()] = traceValue(it.value());
        return out;
    }
    return traceValue(*params);
}

} // namespace

struct ClientSession::Call {
    json request;
    json id = nullptr;
    std::string method;
    const json* params = nullptr;
};

ClientSession::ClientSession(const ServerContext& context, std::string peer)
    : context_(context), peer_(std::move(peer)) {}

ClientSession::~ClientSession() = default;

Store& ClientSession::store() {
    if (!store_) store_ = std::make_unique<Store>(context_.database);
    return *store_;
}

std::string ClientSession::dispatch(Call& call) {
    const json& req = call.request;
    if (!req.is_object())
        throw RpcError(rpc::kInvalidRequest, "Requisição inválida: esperado um objeto JSON por linha.");
    const auto id = req.find("id");
    if (id == req.end())
        throw RpcError(rpc::kInvalidRequest, "Requisição sem \"id\": notificações não são aceitas.");
    if (!(id->is_string() || id->is_number() || id->is_null()))
        throw RpcError(rpc::kInvalidRequest, "Requisição com \"id\" inválido: use texto ou número.");
    call.id = *id;
    const auto version = req.find("jsonrpc");
    if (version == req.end() || *version != "2.0")
        throw RpcError(rpc::kInvalidRequest, "Requisição inválida: \"jsonrpc\" deve ser \"2.0\".");
    const auto method = req.find("method");
    if (method == req.end() || !method->is_string())
        throw RpcError(rpc::kInvalidRequest, "Requisição inválida: falta o nome do método (\"method\").");
    call.method = method->get<std::string>();
    if (const auto params = req.find("params"); params != req.end()) call.params = &*params;

    if (call.method == "connect") {
        if (!call.params || !call.params->is_object() || !call.params->contains("server") ||
            !(*call.params)["server"].is_string())
            throw RpcError(rpc::kInvalidParams,
                           "connect espera {\"server\": \"" + std::string(rpc::kServerName) + "\"}.");
        const auto& name = (*call.params)["server"].get_ref<const std::string&>();
        if (name != rpc::kServerName)
            throw RpcError(rpc::kUnknownServer, "Servidor desconhecido: " + shown(name) +
                                                    ". Este servidor atende " +
                                                    std::string(rpc::kServerName) + ".");
        try {
            store();
        } catch (const std::exception& e) {
            spdlog::error("{}: não foi possível abrir a base de dados: {}", peer_, e.what());
            throw RpcError(rpc::kStorageError,
                           std::string("Não foi possível abrir a base de dados: ") + e.what());
        }
        if (!connected_) spdlog::info("{}: conectado a {}", peer_, rpc::kServerName);
        connected_ = true;
        std::string out = "{\"server\":";
        wire::appendJsonString(out, rpc::kServerName);
        out.push_back('}');
        return out;
    }

    const auto& table = methods();
    const auto it = table.find(call.method);
    if (it == table.end())
        throw RpcError(rpc::kMethodNotFound, "Método desconhecido: " + shown(call.method) + ".");
    if (!connected_)
        throw RpcError(rpc::kNotConnected, "Conexão não iniciada: chame connect com o servidor " +
                                               std::string(rpc::kServerName) + " antes de " + call.method +
                                               ".");
    static const json kNoArguments = json::array();
    const json& args = call.params ? *call.params : kNoArguments;
    if (!args.is_array())
        throw RpcError(rpc::kInvalidParams, call.method + " espera os argumentos numa lista (posicionais).");
    if (args.size() != static_cast<std::size_t>(it->second.arguments))
        throw RpcError(rpc::kInvalidParams, call.method + " espera " + argumentCount(it->second.arguments) +
                                                ", recebeu " + std::to_string(args.size()) + ".");
    return it->second.run(store(), args);
}

std::string ClientSession::handle(std::string_view line) {
    const auto wall = std::chrono::system_clock::now();
    const auto started = std::chrono::steady_clock::now();
    Call call;
    std::string response;
    int code = 0;
    std::string message;
    try {
        try {
            call.request = json::parse(line);
        } catch (const json::parse_error& e) {
            throw RpcError(rpc::kParseError,
                           "JSON malformado na requisição (byte " + std::to_string(e.byte) + ").");
        }
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
    } catch (const std::exception& e) {
        const DbFailure failure = classifyDbFailure(e);
        code = rpc::kStorageError;
        if (!isDatabaseError(e)) {
            code = rpc::kInternalError;
            message = std::string("Erro interno do servidor: ") + e.what();
        } else if (failure == DbFailure::Busy) {
            message = "A base de dados está ocupada por outra gravação; tente de novo.";
        } else {
            std::string detail = e.what();
            if (const auto nl = detail.find('\n'); nl != std::string::npos) detail.resize(nl);
            message = "Falha na base de dados: " + detail;
        }
        spdlog::error("{}: {} falhou: {}", peer_, call.method.empty() ? "requisição" : call.method, e.what());
        if (store_ && !store_->database().usable()) {
            spdlog::warn("{}: conexão com a base de dados perdida; será reaberta na próxima chamada", peer_);
            store_.reset();
        }
    }
    if (code != 0) response = errorText(call.id, code, message);

    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started)
            .count();
    if (spdlog::should_log(spdlog::level::debug)) {
        if (code == 0)
            spdlog::debug("{}: {} ok em {} µs", peer_, call.method, micros);
        else
            spdlog::debug("{}: {} recusado ({}) em {} µs: {}", peer_, call.method, code, micros, message);
    }
    if (context_.trace) {
        ordered_json record = {
            {"time", isoTimestamp(wall)},
            {"peer", peer_},
            {"operation", call.method.empty() ? ordered_json(nullptr) : ordered_json(call.method)},
            {"arguments", traceArguments(call.params)},
            {"outcome", code == 0 ? ordered_json("ok") : ordered_json{{"code", code}, {"message", message}}},
            {"duration_us", micros}};
        context_.trace->write(dumpSafe(record));
    }
    return response;
}

std::string ClientSession::refuseOversized(std::size_t bytes) {
    const std::string message = "Requisição com mais de " + std::to_string(rpc::kMaxRequestBytes) +
                                " bytes recusada (" + std::to_string(bytes) +
                                " bytes ou mais); a linha foi descartada.";
    spdlog::warn("{}: {}", peer_, message);
    if (context_.trace) {
        ordered_json record = {{"time", isoTimestamp()},
                               {"peer", peer_},
                               {"operation", nullptr},
                               {"arguments", nullptr},
                               {"outcome", {{"code", rpc::kRequestTooLarge}, {"message", message}}},
                               {"duration_us", 0}};
        context_.trace->write(dumpSafe(record));
    }
    return errorText(nullptr, rpc::kRequestTooLarge, message);
}

} // namespace appserver
