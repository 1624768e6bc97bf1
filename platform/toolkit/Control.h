#pragma once

// The base of every visual control: a named node in its form's tree with the properties the screen's
// rules read and write (caption, text, Enabled, Visible, colour, tab order) and its events.
//
// Setters do nothing when the value does not change; events run only on a real change. Controls are
// created and owned by their form (Form::add / Form::createControl) and never outlive it.
//
// What a kind adds is reached through its capabilities, not its class: a control bound to data
// (asData), a list of items (asList), an edit that takes typed text (asText). The user's acts
// (tk::Input) and the snapshot work on those alone.

#include "toolkit/Component.h"
#include "toolkit/Keys.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tk {

class DataControl;
class Form;
class ListControl;
class MemberSink;
class TextControl;

// Position and size; presentation only, no rule reads them.
struct Bounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Bounds&) const = default;
};

// Whether the user can reach a control, and if not, why.
enum class Reach { Ok, Hidden, Disabled };

class Control : public Component {
public:
    Control(Form& form, std::string name, Control* parent);
    ~Control() override;

    // The kind as the screen definition names it ("TDBCheckBox", "TPanel", ...).
    virtual const char* typeName() const = 0;

    Form& form() const { return *form_; }
    Control* parent() const { return parent_; }
    const std::vector<Control*>& children() const { return children_; }
    // True when `other` lies inside this control (at any depth); a control is not its own ancestor.
    bool isAncestorOf(const Control* other) const;

    const std::string& caption() const { return caption_; }
    void setCaption(std::string caption) { caption_ = std::move(caption); }
    // The control's text. Edits run their change handler when it changes (see the edit classes).
    virtual std::string text() const { return text_; }
    virtual void setText(const std::string& text) { text_ = text; }

    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool visible() const { return visible_; }
    void setVisible(bool visible) { visible_ = visible; }
    const std::string& color() const { return color_; }
    void setColor(std::string color) { color_ = std::move(color); }
    const std::string& hint() const { return hint_; }
    void setHint(std::string hint) { hint_ = std::move(hint); }
    int tabOrder() const { return tabOrder_; }
    void setTabOrder(int order) { tabOrder_ = order; }
    bool tabStop() const { return tabStop_; }
    void setTabStop(bool stop) { tabStop_ = stop; }
    const std::optional<Bounds>& bounds() const { return bounds_; }
    void setBounds(std::optional<Bounds> bounds) { bounds_ = bounds; }

    // The user can act on the control: it and every container around it are visible and enabled, and
    // no container hides it (a tab page that is not the active one hides its contents). A control in a
    // disabled group box cannot be operated whatever its own Enabled says. reach() tells which of the
    // two stands in the way, the nearest first.
    Reach reach() const;
    bool canOperate() const { return reach() == Reach::Ok; }
    // canOperate and of a kind that takes the keyboard focus.
    bool canFocus() const;
    bool focused() const;
    // Moves the focus here through the form (a control that cannot take it keeps things as they are).
    void setFocus();

    virtual bool focusable() const { return false; }
    virtual bool isContainer() const { return false; }
    // Whether this container currently shows its children.
    virtual bool showsChildren() const { return true; }

    // Capabilities of the kind; nullptr when it has none of that.
    virtual DataControl* asData() { return nullptr; }
    virtual ListControl* asList() { return nullptr; }
    virtual TextControl* asText() { return nullptr; }
    const DataControl* asData() const { return const_cast<Control*>(this)->asData(); }
    const ListControl* asList() const { return const_cast<Control*>(this)->asList(); }

    std::function<void(Control& sender)> onClick;
    std::function<void(Control& sender)> onChange;
    std::function<void(Control& sender)> onEnter;
    std::function<void(Control& sender)> onExit;
    std::function<void(Control& sender, std::uint16_t& key, ShiftState shift)> onKeyDown;
    std::function<void(Control& sender, char& key)> onKeyPress;

    // A click from code: runs the click handler. Search buttons run their search instead.
    virtual void click();
    // The user's click, after the focus moved here: check boxes toggle, radio buttons check, the
    // other kinds behave as click().
    virtual void userClick() { click(); }
    // Whether the user's click changes a value bound to data (a check box's toggle does).
    virtual bool userClickWrites() const { return false; }
    // A key the key-down handler let through: the control's own handling of it. Returns whether the
    // control used it (a list picks an item, a grid moves between columns).
    virtual bool userKey(std::uint16_t key, ShiftState shift);
    // A value the user changed reaches its field: called when the focus leaves the control, before
    // its exit handler. Data-bound controls override it.
    virtual void writeBack() {}

    // Writes this control's members to its snapshot (the writer adds type, parent and placement):
    // caption, text, enabled, visible, checked, itemIndex, items, color, tabOrder, bounds and hint when
    // set, then what the kind adds.
    void describe(MemberSink& out) const;

protected:
    // Runs a handler on this control. The handler is copied first, so a handler that replaces itself
    // while it runs stays valid.
    void fire(const std::function<void(Control&)>& handler) {
        if (!handler) return;
        auto copy = handler;
        copy(*this);
    }

    // The text the snapshot shows (a grid shows its current cell).
    virtual std::string shownText() const { return text(); }
    // The check shown: true, false, or nullopt for a kind without one and for an undetermined box.
    virtual std::optional<bool> shownCheck() const { return std::nullopt; }
    // Members of the kind, after the common ones.
    virtual void describeKind(MemberSink&) const {}

    std::string text_;

private:
    friend class Form;
    Form* form_;
    Control* parent_;
    std::vector<Control*> children_;
    std::string caption_;
    std::string color_ = "clBtnFace";
    std::string hint_;
    bool enabled_ = true;
    bool visible_ = true;
    bool tabStop_ = true;
    int tabOrder_ = 0;
    std::optional<Bounds> bounds_;
};

} // namespace tk
