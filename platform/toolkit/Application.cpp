#include "toolkit/Application.h"

#include "toolkit/Form.h"

#include <algorithm>
#include <stdexcept>

namespace tk {

namespace {
thread_local Application* tlsCurrent = nullptr;
} // namespace

Application::Application() = default;

Application::~Application() {
    // Unit state may point at forms; drop it first, then the forms in reverse creation order.
    units_.clear();
    while (!forms_.empty()) forms_.pop_back();
}

Application& Application::current() {
    if (!tlsCurrent) throw std::logic_error("nenhuma aplicação ativa nesta thread");
    return *tlsCurrent;
}

Application* Application::currentOrNull() { return tlsCurrent; }

Application::Scope::Scope(Application& app) : previous_(tlsCurrent) { tlsCurrent = &app; }
Application::Scope::~Scope() { tlsCurrent = previous_; }

ConflictChoice DialogPort::conflict(const ConflictDialog& dialog) {
    std::string text = dialog.text;
    for (const auto& f : dialog.fields)
        text += "\n" + f.label + ": " + f.mine + " / " + f.theirs;
    text += "\nManter a versão do outro usuário?";
    switch (confirm(dialog.key, text, kAnswerYes)) {
    case kAnswerYes: return ConflictChoice::Theirs;
    case kAnswerNo: return ConflictChoice::Mine;
    default: return ConflictChoice::Dismissed;
    }
}

DialogPort& Application::dialogs() {
    if (!dialogs_) throw std::logic_error("nenhum diálogo configurado para esta aplicação");
    return *dialogs_;
}

void Application::showWait(int kind, std::string text) {
    waitStack_.push_back({kind, std::move(text)});
    wait_ = waitStack_.back();
    if (waitListener_) waitListener_(wait_);
}

void Application::hideWait() {
    if (waitStack_.empty()) throw std::logic_error("indicador de espera escondido sem ter sido mostrado");
    waitStack_.pop_back();
    const auto before = wait_;
    if (waitStack_.empty()) wait_.reset();
    else wait_ = waitStack_.back();
    if (waitListener_ && (before.has_value() != wait_.has_value() || (wait_ && before->text != wait_->text)))
        waitListener_(wait_);
}

void Application::notifyCacheStale(const std::vector<std::string>& tables) {
    cacheNotified_.insert(cacheNotified_.end(), tables.begin(), tables.end());
}

void Application::adoptForm(std::unique_ptr<Form> form) {
    if (!mainForm_) mainForm_ = form.get();
    forms_.push_back(std::move(form));
}

void Application::releaseForm(Form* form) {
    std::erase(pendingRelease_, form);
    auto it = std::find_if(forms_.begin(), forms_.end(), [form](const auto& f) { return f.get() == form; });
    if (it == forms_.end()) return;
    if (mainForm_ == form) mainForm_ = nullptr;
    forms_.erase(it);
}

void Application::releaseLater(Form* form) {
    if (form && std::find(pendingRelease_.begin(), pendingRelease_.end(), form) == pendingRelease_.end())
        pendingRelease_.push_back(form);
}

void Application::collectReleased() {
    // A form's destructor may close or release others; take the list first.
    std::vector<Form*> pending;
    pending.swap(pendingRelease_);
    for (Form* form : pending) releaseForm(form);
}

} // namespace tk
