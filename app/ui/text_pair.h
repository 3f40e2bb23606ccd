// Every text a person sees exists in Chinese and in English; the language flag picks one.
#pragma once

namespace velta {

struct TextPair {
    const char16_t* zh;
    const char16_t* en;
};

inline const char16_t* Pick(const TextPair& pair, bool useChinese) {
    return useChinese ? pair.zh : pair.en;
}

}  // namespace velta
