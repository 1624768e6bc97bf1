#include "toolkit/ListControl.h"

#include <cctype>

namespace tk {

namespace {

int itemForKey(const std::vector<std::string>& items, int current, std::uint16_t key) {
    const int n = static_cast<int>(items.size());
    for (int step = 1; step <= n; ++step) {
        const int i = (current + step + n) % n;
        const std::string& item = items[static_cast<std::size_t>(i)];
        if (!item.empty() && std::toupper(static_cast<unsigned char>(item[0])) == key) return i;
    }
    return -1;
}

} // namespace

bool ListControl::pickByKey(std::uint16_t key, ShiftState shift) {
    if (shift.alt || shift.ctrl) return false;
    const bool letter = (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z');
    if (!letter && key != keys::Up && key != keys::Down) return false;
    const auto& list = items();
    const int current = itemIndex();
    if (list.empty()) return true;
    int chosen;
    if (letter) {
        chosen = itemForKey(list, current, key);
    } else if (current < 0) {
        chosen = 0;
    } else {
        const int next = current + (key == keys::Down ? 1 : -1);
        chosen = next >= 0 && next < static_cast<int>(list.size()) ? next : -1;
    }
    if (chosen >= 0 && chosen != current) userPick(chosen);
    return true;
}

} // namespace tk
