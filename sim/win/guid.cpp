// GUID text conversions of the simulated PC, with COM's documented behaviour: the registry
// form in uppercase, and CLSIDFromString accepting exactly that form in either case.
#include <cstdint>

#include "platform/win/guid.h"
#include "sim/core/machine.h"

namespace win {

namespace {

constexpr HRESULT kClassString = static_cast<HRESULT>(0x800401F3u);  // CO_E_CLASSSTRING
constexpr HRESULT kInvalidArg = static_cast<HRESULT>(0x80070057u);   // E_INVALIDARG

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

}  // namespace

int StringFromGUID2(const GUID& g, LPWSTR text, int size) {
    if (auto f = sim::Current().faults.Hit("StringFromGUID2")) return 0;
    if (text == nullptr || size < 39) return 0;
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    int at = 0;
    auto put = [&](std::uint64_t v, int digits) {
        for (int i = digits - 1; i >= 0; --i) text[at++] = kDigits[(v >> (4 * i)) & 0xf];
    };
    text[at++] = u'{';
    put(g.Data1, 8);
    text[at++] = u'-';
    put(g.Data2, 4);
    text[at++] = u'-';
    put(g.Data3, 4);
    text[at++] = u'-';
    put(g.Data4[0], 2);
    put(g.Data4[1], 2);
    text[at++] = u'-';
    for (int i = 2; i < 8; ++i) put(g.Data4[i], 2);
    text[at++] = u'}';
    text[at++] = 0;
    return at;
}

HRESULT CLSIDFromString(LPCWSTR text, GUID* clsid) {
    if (auto f = sim::Current().faults.Hit("CLSIDFromString")) return static_cast<HRESULT>(f->code);
    if (clsid == nullptr) return kInvalidArg;
    *clsid = GUID{};
    if (text == nullptr) return kClassString;
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} and its terminator, nothing else.
    static const int kDashes[] = {9, 14, 19, 24};
    for (int i = 0; i < 38; ++i)
        if (text[i] == 0) return kClassString;
    if (text[0] != u'{' || text[37] != u'}' || text[38] != 0) return kClassString;
    for (int d : kDashes)
        if (text[d] != u'-') return kClassString;
    auto hex = [&](int from, int digits, std::uint64_t* out) {
        std::uint64_t v = 0;
        for (int i = 0; i < digits; ++i) {
            int n = HexValue(text[from + i]);
            if (n < 0) return false;
            v = v * 16 + static_cast<std::uint64_t>(n);
        }
        *out = v;
        return true;
    };
    std::uint64_t a, b, c, d0, d1;
    if (!hex(1, 8, &a) || !hex(10, 4, &b) || !hex(15, 4, &c) || !hex(20, 2, &d0) || !hex(22, 2, &d1))
        return kClassString;
    GUID g{};
    g.Data1 = static_cast<std::uint32_t>(a);
    g.Data2 = static_cast<std::uint16_t>(b);
    g.Data3 = static_cast<std::uint16_t>(c);
    g.Data4[0] = static_cast<std::uint8_t>(d0);
    g.Data4[1] = static_cast<std::uint8_t>(d1);
    for (int i = 0; i < 6; ++i) {
        std::uint64_t v;
        if (!hex(25 + 2 * i, 2, &v)) return kClassString;
        g.Data4[2 + i] = static_cast<std::uint8_t>(v);
    }
    *clsid = g;
    return 0;
}

}  // namespace win
