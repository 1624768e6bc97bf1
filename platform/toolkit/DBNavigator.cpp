#include "toolkit/DBNavigator.h"

#include "toolkit/ControlKinds.h"
#include "toolkit/DataSet.h"

namespace tk {

bool TDBNavigator::navigate(NavigateButton button) {
    DataSet* set = dataSet();
    if (!set || set->state() != DataSetState::Browse) return false;
    switch (button) {
    case NavigateButton::First:
        set->first();
        break;
    case NavigateButton::Prior:
        set->prior();
        break;
    case NavigateButton::Next:
        set->next();
        break;
    case NavigateButton::Last:
        set->last();
        break;
    }
    return true;
}

namespace {

const KindRegistration registration{KindOf<TDBNavigator>("TDBNavigator", "DataControl")};

} // namespace

} // namespace tk
