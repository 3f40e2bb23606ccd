#include "app/inspect/guid_text.h"

#include "app/model/layout_model.h"
#include "platform/win/constants.h"
#include "platform/win/guid.h"

namespace velta {

std::u16string GuidText(const win::GUID& guid) {
    char16_t text[40] = {};
    int written = win::StringFromGUID2(guid, text, 40);
    // 38 characters and the terminator, braces around: anything else is not the registry form.
    if (written != 39 || text[0] != u'{' || text[37] != u'}') throw Error{u"GUID", win::ERROR_INVALID_DATA};
    return std::u16string(text, 38);
}

}  // namespace velta
