#include "Session.h"

#include "toolkit/Application.h"

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

Reply errorReply(int status, const std::string& message) {
    return {status, json{{"error", message}}.dump()};
}

namespace {

const char* const kSessionEnded = "Sessão encerrada.";

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

json waitJson(const std::optional<tk::WaitIndicator>& wait) {
    if (!wait) return nullptr;
    return json{{"kind", wait->kind}, {"text", wait->text}};
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

private:
    Session& session_;
    tk::Application& app_;
};

Session::Session(std::string id, ScreenFactory factory, SessionOptions options)
    : id_(std::move(id)), factory_(std::move(factory)) {
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

std::string Session::compose(tk::Application& app, bool withRows) const {
    std::string out;
    try {
        if (screen_) out = screen_->view(withRows);
    } catch (const std::exception& ex) {
        spdlog::error("sessão {}: falha ao montar o retrato da tela: {}", id_, ex.what());
        out.clear();
    }
    if (out.size() < 2 || out.back() != '}')
        out = R"({"controls":{},"activePage":null,"focus":null,"datasets":{},"unit":null})";
    out.pop_back();
    out += ",\"dialog\":";
    out += dialog_ ? dialog_->dump() : "null";
    out += ",\"shown\":";
    out += json(app.shown()).dump();
    static constexpr const char* kResults[] = {"done", "waiting", "aborted", "failed"};
    out += ",\"result\":\"";
    out += dialog_ ? "waiting" : kResults[static_cast<int>(outcome_)];
    out += "\",\"error\":";
    out += !dialog_ && outcome_ == Outcome::Failed ? json(error_).dump() : "null";
    out += ",\"wait\":";
    out += waitJson(app.wait()).dump();
    out += ",\"cacheNotified\":";
    out += json(app.cacheNotified()).dump();
    out += '}';
    return out;
}

void Session::serveSnapshots(std::unique_lock<std::mutex>& lock, tk::Application& app) {
    while (!snapshotRequests_.empty()) {
        SnapshotRequest request = snapshotRequests_.front();
        snapshotRequests_.pop_front();
        lock.unlock();
        Reply reply{200, compose(app, request.withRows)};
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
        std::lock_guard lock(mutex_);
        liveWait_ = waitJson(wait);
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

    std::unique_lock lock(mutex_);
    lastSnapshot_ = compose(app, false);
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
    finish(current_, errorReply(404, kSessionEnded));
    current_ = nullptr;
    for (auto& request : snapshotRequests_)
        finish(request.completion, errorReply(404, kSessionEnded));
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

    bool withRows = false;
    {
        // The request waiting now may be the answer to a dialog this event opened: its flag counts.
        std::lock_guard lock(mutex_);
        withRows = pendingRows_;
    }
    Reply reply;
    if (outcome == Outcome::Done && result.status != ActResult::Status::Ok) {
        // Refused before anything ran: the session stays exactly as it was.
        app.shown() = std::move(previousShown);
        reply = errorReply(result.status == ActResult::Status::Unknown ? 404 : 409, result.reason);
        spdlog::debug("sessão {}: evento {} recusado: {}", id_, toString(event.type), result.reason);
    } else {
        outcome_ = outcome;
        error_ = error;
        if (outcome == Outcome::Failed)
            spdlog::warn("sessão {}: evento {} falhou: {}", id_, toString(event.type), error);
        reply = {200, compose(app, withRows)};
    }
    // A refused act changed nothing, so the cached snapshot still holds.
    std::optional<std::string> cached;
    if (reply.status == 200) cached = withRows ? compose(app, false) : reply.body;

    std::lock_guard lock(mutex_);
    if (cached) lastSnapshot_ = std::move(*cached);
    liveWait_ = waitJson(app.wait());
    phase_ = Phase::Idle;
    finish(current_, std::move(reply));
    current_ = nullptr;
}

std::optional<Event> Session::awaitAnswer(tk::Application& app, json dialog) {
    std::unique_lock lock(mutex_);
    if (closing_) return std::nullopt; // a closing session dismisses every dialog at once
    dialog_ = std::move(dialog);
    phase_ = Phase::InDialog;
    const bool withRows = pendingRows_;
    lock.unlock();
    Reply reply{200, compose(app, withRows)};
    std::string cached = withRows ? compose(app, false) : reply.body;
    lock.lock();
    lastSnapshot_ = std::move(cached);
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
    if (!dialog_) return errorReply(409, "Não há diálogo pendente para responder.");
    const json& d = *dialog_;
    const std::string kind = d.at("kind").get<std::string>();
    const bool word = answer.answerKeys == std::nullopt && answer.answerRecNo == std::nullopt;
    if (kind == "confirm") {
        if (!word || answer.answerWord == "ok")
            return errorReply(400, "A pergunta espera a resposta \"yes\", \"no\" ou \"cancel\".");
        return std::nullopt;
    }
    if (kind == "error") {
        if (!word || (answer.answerWord != "ok" && answer.answerWord != "cancel"))
            return errorReply(400, "A caixa de erro espera a resposta \"ok\".");
        return std::nullopt;
    }
    if (word) {
        if (answer.answerWord == "cancel") return std::nullopt;
        return errorReply(400, kind == "search" ? "A procura espera {\"recNo\":N} ou \"cancel\"."
                                                : "A lista espera {\"keys\":[...]} ou \"cancel\".");
    }
    const auto rowCount = static_cast<int>(d.at("rows").size());
    const bool multi = d.value("multi", false);
    if (answer.answerRecNo) {
        if (kind == "pick" && multi)
            return errorReply(400, "A lista de seleção múltipla espera {\"keys\":[...]}.");
        if (*answer.answerRecNo < 1 || *answer.answerRecNo > rowCount)
            return errorReply(409, "Linha " + std::to_string(*answer.answerRecNo) + " fora da lista (1 a " +
                                       std::to_string(rowCount) + ").");
        return std::nullopt;
    }
    if (kind == "search") return errorReply(400, "A procura espera {\"recNo\":N} ou \"cancel\".");
    const auto& keys = d.at("keys");
    if (!multi && answer.answerKeys->size() != 1)
        return errorReply(400, "A lista de seleção única espera exatamente uma chave.");
    for (const auto& k : *answer.answerKeys)
        if (std::find(keys.begin(), keys.end(), json(k)) == keys.end())
            return errorReply(409, "Chave \"" + k + "\" não está na lista.");
    return std::nullopt;
}

Reply Session::event(const Event& event, bool withRows) {
    std::lock_guard request(requestMutex_);
    touch();
    Completion completion;
    std::unique_lock lock(mutex_);
    if (phase_ == Phase::Ended || closing_) return errorReply(404, kSessionEnded);
    if (event.type == EventType::Answer) {
        if (auto unfit = checkAnswer(event)) return *unfit;
        answer_ = event;
    } else {
        if (dialog_) return errorReply(409, "Há um diálogo aberto na tela: responda-o antes de outra ação.");
        pendingEvent_ = event;
    }
    pendingRows_ = withRows;
    current_ = &completion;
    changed_.notify_all();
    changed_.wait(lock, [&] { return completion.ready; });
    touch();
    return completion.reply;
}

Reply Session::snapshot(bool withRows) {
    touch();
    std::unique_lock lock(mutex_);
    if (phase_ == Phase::Ended) return errorReply(404, kSessionEnded);
    if (phase_ == Phase::Running) {
        json cached = json::parse(lastSnapshot_);
        cached["wait"] = liveWait_ ? *liveWait_ : json(nullptr);
        return {200, cached.dump()};
    }
    Completion completion;
    snapshotRequests_.push_back({withRows, &completion});
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
