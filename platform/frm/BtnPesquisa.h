#pragma once

// The search button: lists the rows of its data source's dataset and leaves the dataset on the row
// the user picks.
//
// A click with a click handler runs that handler alone. Otherwise: the before-search handler runs
// (and may refuse by clearing allowPesq, or load the rows); an empty dataset shows EmptyError in the
// error box and stops; else the user picks one row; a picked row becomes current and the after-search
// handler runs; a cancelled list does nothing. Like a toolbar button it does not take the focus.

#include "toolkit/SpeedButton.h"

#include <functional>
#include <string>

namespace tk {
class DataSource;
}

namespace frm {

class TBtnPesquisa : public tk::TSpeedButton {
public:
    using tk::TSpeedButton::TSpeedButton;
    const char* typeName() const override { return "TBtnPesquisa"; }

    tk::Control* Associate = nullptr;
    std::string Title;
    tk::DataSource* DataSource = nullptr;
    std::string EmptyError;

    std::function<void(tk::Component& sender, bool& allowPesq)> onBeforePesq;
    std::function<void(tk::Component& sender)> onAfterPesq;

    void click() override;

protected:
    // title, and associate: the associated control's name, or null.
    void describeKind(tk::MemberSink& out) const override;
};

} // namespace frm
