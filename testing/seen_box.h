// A message-box observer that keeps the last box it was shown and counts
// them: SetMessageBoxObserver(&CSeenBox::Observe, &seen).
#pragma once

#include <string>

namespace orvella::testing {

struct CSeenBox {
    std::wstring caption;
    std::wstring text;
    unsigned flags = 0;
    int count = 0;
    static void Observe(const std::wstring& caption, const std::wstring& text, unsigned flags,
                        void* context) {
        auto* self = static_cast<CSeenBox*>(context);
        self->caption = caption;
        self->text = text;
        self->flags = flags;
        ++self->count;
    }
};

}  // namespace orvella::testing
