#pragma once

// A form: the window that owns a screen's controls, menu items, datasets and data sources, finds
// them by name, and holds the keyboard focus.
//
// Names are unique within a form across controls, datasets and data sources; registering a name
// twice throws. Controls are destroyed before the data sources they are bound to, and those before
// their datasets.
//
// Focus moves (setFocus) run, in this order: the leaving control writes back a value the user
// changed, its exit handler runs, then the exit handler of each container being left, innermost
// first; an exception in any of them cancels the move (the focus stays) and propagates. Then the
// focus moves and the enter handlers run for each container entered, outermost first, and last for
// the control itself.

#include "toolkit/Component.h"
#include "toolkit/Control.h"
#include "toolkit/DataSet.h"
#include "toolkit/Forward.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tk {

enum class CloseAction { None, Hide, Free, Minimize };
enum class WindowState { Normal, Minimized, Maximized };
const char* toString(WindowState state); // "normal", "minimized", "maximized"

class Form : public Component {
public:
    explicit Form(std::string name);
    ~Form() override;

    // Creates a control of class T owned by this form, under `parent` (nullptr: the form's top level).
    template <class T> T& add(std::string name, Control* parent = nullptr) {
        checkName(name);
        auto control = std::make_unique<T>(*this, std::move(name), parent);
        T& ref = *control;
        adopt(std::move(control));
        return ref;
    }
    // Creates a control by its kind name ("TDBCheckBox", "TPanel", ...), as the screen definition
    // names controls; any registered kind (ControlKinds.h) can be made. Unknown kinds throw.
    Control& createControl(std::string_view type, std::string name, Control* parent);
    DataSet& addDataSet(std::string name);
    DataSource& addDataSource(std::string name, DataSet* dataSet = nullptr);

    Control* control(std::string_view name) const;
    // The control of that name if it is a T, else nullptr.
    template <class T> T* find(std::string_view name) const { return dynamic_cast<T*>(control(name)); }
    // As find, but a missing control or one of another kind throws std::out_of_range.
    template <class T> T& get(std::string_view name) const {
        if (T* found = find<T>(name)) return *found;
        throw std::out_of_range("controle inexistente ou de outro tipo: " + std::string(name));
    }
    DataSet* dataSet(std::string_view name) const;
    DataSource* dataSource(std::string_view name) const;

    // Every control in creation order; the top-level ones (no parent) in creation order.
    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }
    const std::vector<Control*>& rootControls() const { return roots_; }
    const std::vector<std::unique_ptr<DataSet>>& dataSets() const { return dataSets_; }
    const std::vector<std::unique_ptr<DataSource>>& dataSources() const { return dataSources_; }

    const std::string& caption() const { return caption_; }
    void setCaption(std::string caption) { caption_ = std::move(caption); }
    // Different for every form made in this process, so a form that replaces another of the same
    // name (closed and opened again) is told apart even at the same address.
    std::uint64_t serial() const { return serial_; }
    WindowState windowState() const { return windowState_; }
    void setWindowState(WindowState state) { windowState_ = state; }
    bool visible() const { return visible_; }

    std::function<void(Form& sender)> onCreate;
    std::function<void(Form& sender)> onShow;
    std::function<void(Form& sender, CloseAction& action)> onClose;
    // Asked before a close the user started; leaving `canClose` false keeps the form open and runs
    // nothing else of the close.
    std::function<void(Form& sender, bool& canClose)> onCloseQuery;

    // Runs the create handler; the creator calls it once the form's constructor has finished, so the
    // handler of a derived form finds every control in place.
    void create();
    // Makes the form visible; the show handler runs when it was not visible.
    void show();
    // Runs the close handler with Hide as the proposed action, then acts on the action it leaves:
    // Hide hides, Minimize minimizes, None keeps the form open, Free hides the form and has the
    // application release it once the current event has finished. With CloseQuery::Ask the
    // close-query handler runs first and may keep the form open.
    void close(CloseQuery query = CloseQuery::Ask);

    Control* activeControl() const { return active_; }
    // Moves the focus (see the comment at the top). A control that cannot take the focus, or the one
    // that has it, changes nothing; nullptr takes the focus away, running the exit handlers.
    void setFocus(Control* target);
    // Moves the focus to the next (or previous) control in tab order, wrapping around.
    void focusNext(bool backwards = false);
    // The controls that take the focus, in tab order: depth first over the containers, siblings by
    // tab order (then creation order).
    std::vector<Control*> tabOrderList() const;

private:
    friend class Control;
    void checkName(const std::string& name) const;
    void adopt(std::unique_ptr<Control> control);
    void enter(Control* target, const Control* previous);

    // Member order is destruction order in reverse: controls go first, then the data sources they
    // are linked to, then the datasets.
    std::vector<std::unique_ptr<DataSet>> dataSets_;
    std::vector<std::unique_ptr<DataSource>> dataSources_;
    std::vector<std::unique_ptr<Control>> controls_;
    std::vector<Control*> roots_;
    std::map<std::string, Control*, std::less<>> byName_;
    std::string caption_;
    std::uint64_t serial_;
    WindowState windowState_ = WindowState::Normal;
    bool visible_ = false;
    bool destroying_ = false;
    Control* active_ = nullptr;
    // While exit handlers run for a move, a focus request from one of them is held here and replaces
    // the move's target.
    bool leaving_ = false;
    Control* leavingControl_ = nullptr;
    Control* redirect_ = nullptr;
    bool redirected_ = false;
};

} // namespace tk
