#include "Session.h"

#include "toolkit/Application.h"
#include "toolkit/JsonText.h"

#include <algorithm>
#include <cstring>
#include <spdlog/spdlog.h>
#include <stdexcept>

#if defined(__SANITIZE_ADDRESS__)
#define TIPOPER_HOST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TIPOPER_HOST_ASAN 1
#endif
#endif

namespace host {

using nlohmann::json;

Reply errorReply(int status, const std::string& code, const std::string& message) {
    return {status, json{{"error", message}, {"code", code}}.dump()};
}

Reply errorReply(int status, const std::string& message) {
    const char* code = "error";
    switch (status) {
    case 400:
        code = "bad-request";
        break;
    case 404:
        code = "not-found";
        break;
    case 405:
        code = "method-not-allowed";
        break;
    case 413:
        code = "too-large";
        break;
    case 500:
        code = "internal";
        break;
    case 503:
        code = "unavailable";
        break;
    default:
        break;
    }
    return errorReply(status, code, message);
}

namespace {

const char* const kSessionEnded = "Sessão encerrada.";

Reply sessionEnded() {
    return errorReply(404, "session-ended", kSessionEnded);
}

// The unit's variables a reviewer checks, in this order; a unit that lacks one shows it as null.
const std::vector<std::string> kUnitMembers = {"boStCriado",  "boControlDocOrig", "boControlEncRat",
                                               "stDocOrigem", "stListaEncRat",    "stCampoNull"};

std::string strings(const std::vector<std::string>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) out += ',';
        tk::json::appendString(out, values[i]);
    }
    out += ']';
    return out;
}

// The toolkit may offer a listener on the wait indicator; with it, a snapshot read while a slow call
// runs shows the indicator as it is at that moment.
template <class App, class Fn> bool installWaitListener(App& app, Fn fn) {
    if constexpr (requires { app.setWaitListener(fn); }) {
        app.setWaitListener(std::move(fn));
        return true;
    } else {
        return false;
    }
}

std::string waitJson(const std::optional<tk::WaitIndicator>& wait) {
    if (!wait) return "null";
    std::string out = "{\"kind\":";
    tk::json::appendInt(out, wait->kind);
    out += ",\"text\":";
    tk::json::appendString(out, wait->text);
    out += '}';
    return out;
}

json rowsJson(const tk::DialogRows& rows) {
    json out = json::array();
    for (const auto& row : rows.rows)
        out.push_back(row);
    return out;
}

// `defaultAnswer`: what Enter answers ("yes"/"no"), null for dialogs without a choice to default.
json dialogJson(const char* kind, const std::string& text, const std::string& key, const std::string& title,
                json defaultAnswer = nullptr) {
    return json{{"kind", kind},
                {"text", text},
                {"key", key.empty() ? json(nullptr) : json(key)},
                {"title", title},
                {"rows", nullptr},
                {"default", std::move(defaultAnswer)}};
}

json listDialog(const char* kind, const std::string& title, const std::string& emptyText,
                const tk::DialogRows& rows) {
    json d = dialogJson(kind, emptyText, "", title);
    d["fields"] = rows.fields;
    d["labels"] = rows.labels;
    d["rows"] = rowsJson(rows);
    d["keys"] = rows.keys;
    return d;
}

} // namespace

// The host's dialog port: each dialog suspends the handler on the session thread until the answer.
class Session::Dialogs final : public tk::DialogPort {
public:
    Dialogs(Session& session, tk::Application& app) : session_(session), app_(app) {}

    int confirm(const std::string& key, const std::string& text, int defaultAnswer) override {
        auto answer = session_.awaitAnswer(
            app_, dialogJson("confirm", text, key, "", defaultAnswer == tk::kAnswerNo ? "no" : "yes"));
        if (!answer) return tk::kAnswerCancel;
        if (answer->answerWord == "yes") return tk::kAnswerYes;
        if (answer->answerWord == "no") return tk::kAnswerNo;
        return tk::kAnswerCancel;
    }

    void error(const std::string& text) override {
        session_.awaitAnswer(app_, dialogJson("error", text, "", ""));
    }

    std::optional<std::vector<std::string>> pickMany(const std::string& title, const std::string& emptyText,
                                                     const tk::DialogRows& rows,
                                                     const std::vector<std::string>& selected) override {
        json d = listDialog("pick", title, emptyText, rows);
        d["multi"] = true;
        d["selected"] = selected;
        auto answer = session_.awaitAnswer(app_, std::move(d));
        if (!answer || !answer->answerKeys) return std::nullopt;
        std::vector<std::string> keys;
        for (const auto& k : *answer->answerKeys)
            if (std::find(keys.begin(), keys.end(), k) == keys.end()) keys.push_back(k);
        return keys;
    }

    std::optional<int> pickOne(const std::string& title, const std::string& emptyText,
                               const tk::DialogRows& rows) override {
        json d = listDialog("pick", title, emptyText, rows);
        d["multi"] = false;
        d["selected"] = json::array();
        auto answer = session_.awaitAnswer(app_, std::move(d));
        if (!answer) return std::nullopt;
        if (answer->answerRecNo) return *answer->answerRecNo - 1;
        if (answer->answerKeys && answer->answerKeys->size() == 1) {
            auto it = std::find(rows.keys.begin(), rows.keys.end(), answer->answerKeys->front());
            if (it != rows.keys.end()) return static_cast<int>(it - rows.keys.begin());
        }
        return std::nullopt;
    }

    std::optional<int> search(const std::string& title, const tk::DialogRows& rows) override {
        auto answer = session_.awaitAnswer(app_, listDialog("search", title, "", rows));
        if (!answer || !answer->answerRecNo) return std::nullopt;
        return *answer->answerRecNo - 1;
    }

    tk::ConflictChoice conflict(const tk::ConflictDialog& dialog) override {
        json d = dialogJson("conflict", dialog.text, dialog.key, "", "theirs");
        json fields = json::array();
        for (const auto& f : dialog.fields)
            fields.push_back({{"field", f.field}, {"label", f.label}, {"mine", f.mine}, {"theirs", f.theirs}});
        d["fields"] = std::move(fields);
        d["changedBy"] = dialog.changedBy;
        d["changedAt"] = dialog.changedAt;
        d["removed"] = dialog.removed;
        auto answer = session_.awaitAnswer(app_, std::move(d));
        if (!answer) return tk::ConflictChoice::Dismissed;
        if (answer->answerWord == "mine") return tk::ConflictChoice::Mine;
        if (answer->answerWord == "theirs") return tk::ConflictChoice::Theirs;
        return tk::ConflictChoice::Dismissed;
    }

private:
    Session& session_;
    tk::Application& app_;
};

Session::Session(std::string id, ScreenFactory factory, SessionOptions options)
    : id_(std::move(id)), factory_(std::move(factory)),
      snapshot_(tk::Snapshot::Options{kUnitMembers, {"dialog"}}) {
    touch();
    std::size_t stack = options.stackBytes;
#ifdef TIPOPER_HOST_ASAN
    // The sanitizer's redzones make every frame several times larger.
    stack = std::max<std::size_t>(stack, 8u * 1024 * 1024);
#endif
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, std::max<std::size_t>(stack, PTHREAD_STACK_MIN));
    const int rc = pthread_create(&thread_, &attr, &Session::threadMain, this);
    pthread_attr_destroy(&attr);
    if (rc != 0)
        throw std::runtime_error(std::string("não foi possível criar a thread da sessão: ") +
                                 std::strerror(rc));
    threadStarted_ = true;
}

Session::~Session() {
    close(std::chrono::milliseconds(0));
    join();
}

void* Session::threadMain(void* self) {
    static_cast<Session*>(self)->run();
    return nullptr;
}

void Session::touch() {
    lastActivity_ = std::chrono::steady_clock::now().time_since_epoch().count();
}

std::chrono::steady_clock::time_point Session::lastActivity() const {
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(lastActivity_.load()));
}

bool Session::ended() const {
    std::lock_guard lock(mutex_);
    return phase_ == Phase::Ended;
}

void Session::join() {
    std::lock_guard lock(joinMutex_);
    if (!threadStarted_ || joined_) return;
    pthread_join(thread_, nullptr);
    joined_ = true;
}

void Session::finish(Completion* completion, Reply reply) {
    if (!completion) return;
    completion->reply = std::move(reply);
    completion->ready = true;
    changed_.notify_all();
}

std::string Session::compose(tk::Application& app, const ReadOptions& options) {
    static constexpr const char* kResults[] = {"\"done\"", "\"waiting\"", "\"aborted\"", "\"failed\""};
    const std::string dialog = dialog_ ? dialog_->dump() : "null";
    const std::string shown = strings(app.shown());
    const std::string error = !dialog_ && outcome_ == Outcome::Failed ? json(error_).dump() : "null";
    const std::string wait = waitJson(app.wait());
    const std::string cacheNotified = strings(app.cacheNotified());
    const tk::Snapshot::Member members[] = {
        {"dialog", dialog},
        {"shown", shown},
        {"result", dialog_ ? kResults[1] : kResults[static_cast<int>(outcome_)]},
        {"error", error},
        {"wait", wait},
        {"cacheNotified", cacheNotified},
    };
    const tk::Form* form = nullptr;
    try {
        const tk::UnitState* unit = nullptr;
        if (screen_) {
            form = screen_->form();
            unit = screen_->unit();
        }
        snapshot_.record(form, unit, members);
    } catch (const std::exception& ex) {
        // What was recorded before the fault stays valid; the answer shows it.
        spdlog::error("sessão {}: falha ao montar o retrato da tela: {}", id_, ex.what());
    }
    std::string out;
    snapshot_.write(out, options.since, options.rows ? form : nullptr);
    return out;
}

void Session::serveSnapshots(std::unique_lock<std::mutex>& lock, tk::Application& app) {
    while (!snapshotRequests_.empty()) {
        SnapshotRequest request = snapshotRequests_.front();
        snapshotRequests_.pop_front();
        lock.unlock();
        Reply reply{200, compose(app, request.options)};
        lock.lock();
        finish(request.completion, std::move(reply));
    }
}

void Session::run() {
    tk::Application app;
    Dialogs port(*this, app);
    app.setDialogs(&port);
    tk::Application::Scope scope(app);
    installWaitListener(app, [this](const std::optional<tk::WaitIndicator>& wait) {
        std::string text = waitJson(wait);
        std::lock_guard lock(mutex_);
        liveWait_ = std::move(text);
    });

    try {
        screen_ = factory_();
        screen_->start();
    } catch (const std::exception& ex) {
        startError_ = ex.what();
        spdlog::error("sessão {}: a tela não pôde ser iniciada: {}", id_, ex.what());
    } catch (...) {
        startError_ = "falha desconhecida ao iniciar a tela";
        spdlog::error("sessão {}: {}", id_, startError_);
    }

    compose(app, {});
    std::unique_lock lock(mutex_);
    phase_ = Phase::Idle;
    changed_.notify_all();
    for (;;) {
        changed_.wait(lock, [&] { return pendingEvent_ || closing_ || !snapshotRequests_.empty(); });
        if (!snapshotRequests_.empty()) {
            serveSnapshots(lock, app);
            continue;
        }
        if (closing_) break;
        Event event = std::move(*pendingEvent_);
        pendingEvent_.reset();
        phase_ = Phase::Running;
        lock.unlock();
        runEvent(app, event);
        lock.lock();
    }

    // Closing: dialogs are dismissed from here on (closing_ is set), so FormClose cannot block.
    lock.unlock();
    if (screen_) {
        try {
            screen_->stop();
            screen_->afterAct();
        } catch (const std::exception& ex) {
            spdlog::warn("sessão {}: falha ao fechar a tela: {}", id_, ex.what());
        } catch (...) {
            spdlog::warn("sessão {}: falha desconhecida ao fechar a tela", id_);
        }
    }
    try {
        screen_.reset();
    } catch (...) {
        spdlog::warn("sessão {}: falha ao liberar a tela", id_);
    }
    lock.lock();
    phase_ = Phase::Ended;
    finish(current_, sessionEnded());
    current_ = nullptr;
    for (auto& request : snapshotRequests_)
        finish(request.completion, sessionEnded());
    snapshotRequests_.clear();
    changed_.notify_all();
    spdlog::debug("sessão {} encerrada", id_);
}

void Session::runEvent(tk::Application& app, const Event& event) {
    std::vector<std::string> previousShown = std::move(app.shown());
    app.shown().clear();
    ActResult result;
    Outcome outcome = Outcome::Done;
    std::string error;
    try {
        if (!screen_) throw std::runtime_error("A tela não pôde ser iniciada: " + startError_);
        result = screen_->act(event);
    } catch (const tk::SilentAbort&) {
        outcome = Outcome::Aborted;
    } catch (const std::exception& ex) {
        outcome = Outcome::Failed;
        error = ex.what();
    } catch (...) {
        outcome = Outcome::Failed;
        error = "Erro desconhecido no tratamento do evento.";
    }
    try {
        if (screen_) screen_->afterAct();
    } catch (const std::exception& ex) {
        spdlog::warn("sessão {}: falha ao liberar formulários fechados: {}", id_, ex.what());
    }

    ReadOptions options;
    {
        // The request waiting now may be the answer to a dialog this event opened: its options count.
        std::lock_guard lock(mutex_);
        options = pendingOptions_;
    }
    Reply reply;
    if (outcome == Outcome::Done && result.status != ActResult::Status::Ok) {
        // Refused before anything ran: the session stays exactly as it was.
        app.shown() = std::move(previousShown);
        reply =
            errorReply(result.status == ActResult::Status::Unknown ? 404 : 409, result.code, result.reason);
        spdlog::debug("sessão {}: evento {} recusado ({}): {}", id_, toString(event.type), result.code,
                      result.reason);
    } else {
        outcome_ = outcome;
        error_ = error;
        if (outcome == Outcome::Failed)
            spdlog::warn("sessão {}: evento {} falhou: {}", id_, toString(event.type), error);
        reply = {200, compose(app, options)};
    }

    std::string wait = waitJson(app.wait());
    std::lock_guard lock(mutex_);
    liveWait_ = std::move(wait);
    phase_ = Phase::Idle;
    finish(current_, std::move(reply));
    current_ = nullptr;
}

std::optional<Event> Session::awaitAnswer(tk::Application& app, json dialog) {
    std::unique_lock lock(mutex_);
    if (closing_) return std::nullopt; // a closing session dismisses every dialog at once
    dialog_ = std::move(dialog);
    phase_ = Phase::InDialog;
    const ReadOptions options = pendingOptions_;
    lock.unlock();
    Reply reply{200, compose(app, options)};
    lock.lock();
    finish(current_, std::move(reply));
    current_ = nullptr;

    for (;;) {
        changed_.wait(lock, [&] { return answer_ || closing_ || !snapshotRequests_.empty(); });
        if (!snapshotRequests_.empty()) {
            serveSnapshots(lock, app);
            continue;
        }
        std::optional<Event> answer;
        if (answer_) answer = std::move(answer_);
        answer_.reset();
        dialog_.reset();
        phase_ = Phase::Running;
        return answer; // nullopt when the session is closing: the dialog is dismissed
    }
}

std::optional<Reply> Session::checkAnswer(const Event& answer) const {
    if (!dialog_) return errorReply(409, "no-dialog", "Não há diálogo pendente para responder.");
    const json& d = *dialog_;
    const std::string kind = d.at("kind").get<std::string>();
    const bool word = answer.answerKeys == std::nullopt && answer.answerRecNo == std::nullopt;
    if (kind == "confirm") {
        if (!word || answer.answerWord == "ok" || answer.answerWord == "theirs" || answer.answerWord == "mine")
            return errorReply(400, "bad-answer",
                              "A pergunta espera a resposta \"yes\", \"no\" ou \"cancel\".");
        return std::nullopt;
    }
    if (kind == "conflict") {
        if (!word || (answer.answerWord != "theirs" && answer.answerWord != "mine" && answer.answerWord != "cancel"))
            return errorReply(400, "bad-answer", "O conflito espera a resposta \"theirs\", \"mine\" ou \"cancel\".");
        return std::nullopt;
    }
    if (kind == "error") {
        if (!word || (answer.answerWord != "ok" && answer.answerWord != "cancel"))
            return errorReply(400, "bad-answer", "A caixa de erro espera a resposta \"ok\".");
        return std::nullopt;
    }
    if (word) {
        if (answer.answerWord == "cancel") return std::nullopt;
        return errorReply(400, "bad-answer",
                          kind == "search" ? "A procura espera {\"recNo\":N} ou \"cancel\"."
                                           : "A lista espera {\"keys\":[...]} ou \"cancel\".");
    }
    const auto rowCount = static_cast<int>(d.at("rows").size());
    const bool multi = d.value("multi", false);
    if (answer.answerRecNo) {
        if (kind == "pick" && multi)
            return errorReply(400, "bad-answer", "A lista de seleção múltipla espera {\"keys\":[...]}.");
        if (*answer.answerRecNo < 1 || *answer.answerRecNo > rowCount)
            return errorReply(409, "out-of-range",
                              "Linha " + std::to_string(*answer.answerRecNo) + " fora da lista (1 a " +
                                  std::to_string(rowCount) + ").");
        return std::nullopt;
    }
    if (kind == "search")
        return errorReply(400, "bad-answer", "A procura espera {\"recNo\":N} ou \"cancel\".");
    const auto& keys = d.at("keys");
    if (!multi && answer.answerKeys->size() != 1)
        return errorReply(400, "bad-answer", "A lista de seleção única espera exatamente uma chave.");
    for (const auto& k : *answer.answerKeys)
        if (std::find(keys.begin(), keys.end(), json(k)) == keys.end())
            return errorReply(409, "unknown-key", "Chave \"" + k + "\" não está na lista.");
    return std::nullopt;
}

Reply Session::event(const Event& event, const ReadOptions& options) {
    std::lock_guard request(requestMutex_);
    touch();
    Completion completion;
    std::unique_lock lock(mutex_);
    if (phase_ == Phase::Ended || closing_) return sessionEnded();
    if (event.type == EventType::Answer) {
        if (auto unfit = checkAnswer(event)) return *unfit;
        answer_ = event;
    } else {
        if (dialog_)
            return errorReply(409, "dialog-open",
                              "Há um diálogo aberto na tela: responda-o antes de outra ação.");
        pendingEvent_ = event;
    }
    pendingOptions_ = options;
    current_ = &completion;
    changed_.notify_all();
    changed_.wait(lock, [&] { return completion.ready; });
    touch();
    return completion.reply;
}

Reply Session::snapshot(const ReadOptions& options) {
    touch();
    std::unique_lock lock(mutex_);
    if (phase_ == Phase::Ended) return sessionEnded();
    if (phase_ == Phase::Running) {
        // The handler is changing the screen: answer from what was recorded, with the indicator now.
        snapshot_.recordMember("wait", liveWait_);
        std::string out;
        static constexpr std::string_view kWait[] = {"wait"};
        if (options.since && snapshot_.answers(*options.since))
            snapshot_.writeOnly(out, *options.since, kWait);
        else
            snapshot_.write(out);
        return {200, std::move(out)};
    }
    Completion completion;
    snapshotRequests_.push_back({options, &completion});
    changed_.notify_all();
    changed_.wait(lock, [&] { return completion.ready; });
    return completion.reply;
}

bool Session::close(std::chrono::milliseconds grace) {
    std::unique_lock lock(mutex_);
    closing_ = true;
    changed_.notify_all();
    return changed_.wait_for(lock, grace, [&] { return phase_ == Phase::Ended; });
}

} // namespace host
