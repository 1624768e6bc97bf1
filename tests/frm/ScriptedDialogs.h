#pragma once

// A dialog port that answers from a script and remembers what it was asked.

#include "toolkit/Application.h"

#include <deque>
#include <stdexcept>

class ScriptedDialogs : public tk::DialogPort {
public:
    struct Asked {
        std::string kind;
        std::string title;
        std::string text;
        tk::DialogRows rows;
        std::vector<std::string> selected;
        int defaultAnswer = 0; // questions: what Enter answers
    };
    std::vector<Asked> asked;
    std::deque<int> confirmAnswers;
    std::deque<std::optional<std::vector<std::string>>> pickManyAnswers;
    std::deque<std::optional<int>> rowAnswers; // pickOne and search
    std::deque<tk::ConflictChoice> conflictAnswers;
    std::vector<tk::ConflictDialog> conflicts; // every conflict shown, whole

    int confirm(const std::string& key, const std::string& text, int defaultAnswer) override {
        asked.push_back({"confirm", key, text, {}, {}, defaultAnswer});
        return next(confirmAnswers);
    }
    void error(const std::string& text) override { asked.push_back({"error", {}, text, {}, {}}); }
    std::optional<std::vector<std::string>> pickMany(const std::string& title, const std::string& emptyText,
                                                     const tk::DialogRows& rows,
                                                     const std::vector<std::string>& selected) override {
        asked.push_back({"pickMany", title, emptyText, rows, selected});
        return next(pickManyAnswers);
    }
    std::optional<int> pickOne(const std::string& title, const std::string& emptyText,
                               const tk::DialogRows& rows) override {
        asked.push_back({"pickOne", title, emptyText, rows, {}});
        return next(rowAnswers);
    }
    std::optional<int> search(const std::string& title, const tk::DialogRows& rows) override {
        asked.push_back({"search", title, {}, rows, {}});
        return next(rowAnswers);
    }

    tk::ConflictChoice conflict(const tk::ConflictDialog& dialog) override {
        asked.push_back({"conflict", dialog.key, dialog.text, {}, {}});
        conflicts.push_back(dialog);
        return next(conflictAnswers);
    }

private:
    template <class T> static T next(std::deque<T>& answers) {
        if (answers.empty()) throw std::logic_error("diálogo sem resposta roteirizada");
        T answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }
};
