#include "frm/PesquisaLista.h"

#include "frm/LookupRows.h"
#include "lib/Consiste.h"
#include "toolkit/Application.h"
#include "toolkit/DataSet.h"

#include <algorithm>
#include <set>

void PesquisaLista(tk::DataSource& source, const std::string& keyField, const std::string& caption,
                   bool /*display*/, std::string& list) {
    const auto bar = caption.find('|');
    const std::string title = caption.substr(0, bar);
    const std::string emptyText = bar == std::string::npos ? std::string() : caption.substr(bar + 1);

    tk::DataSet* set = source.dataSet();
    if (!set || !set->active() || set->isEmpty()) {
        Consiste::MensErro(emptyText, false);
        return;
    }

    const tk::DialogRows rows = frm::lookupRows(*set, keyField);
    std::vector<std::string> selected;
    for (std::size_t start = 0; start <= list.size();) {
        const auto comma = std::min(list.find(',', start), list.size());
        if (comma > start) selected.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }

    const auto picked = tk::Application::current().dialogs().pickMany(title, emptyText, rows, selected);
    if (!picked) return;

    const std::set<std::string> chosen(picked->begin(), picked->end());
    std::set<std::string> written;
    std::string result;
    for (const std::string& key : rows.keys) {
        if (!chosen.count(key) || !written.insert(key).second) continue;
        if (!result.empty()) result += ',';
        result += key;
    }
    list = std::move(result);
}
