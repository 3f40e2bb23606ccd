#include "boot/executor/boot_text.h"

#include "common/units.h"

namespace velta::boot {

namespace {

struct TextPair {
    const char16_t* chinese;
    const char16_t* english;
};

constexpr TextPair kTexts[] = {
    {u"正在移动 ", u"Moving "},
    {u"更新分区表", u"Updating partitions"},
    {u"扩展系统分区", u"Extending partition"},
    {u"扩展 NTFS", u"Extending NTFS"},
    {u"扩容完成", u"Resize complete"},
    {u"扩容未完成", u"Resize incomplete"},
    {u"移动完成", u"Move complete"},
    {u"移动中止", u"Move stopped"},
};

class LineWriter {
public:
    explicit LineWriter(char16_t (&line)[kProgressLineUnits]) : line_(line) {}

    void Text(const char16_t* text) {
        while (*text != 0) Unit(*text++);
    }

    void Decimal(uint64_t value) {
        char16_t digits[20];
        uint32_t n = 0;
        do {
            digits[n++] = static_cast<char16_t>(u'0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n > 0) Unit(digits[--n]);
    }

    // Whole GiB, a point and the first decimal, truncated, of a count of MiB.
    void Gibibytes(uint64_t mebibytes) {
        Decimal(mebibytes / 1024);
        Unit(u'.');
        Decimal((mebibytes * 10 / 1024) % 10);
    }

    uint32_t Finish() {
        line_[used_] = 0;
        return used_;
    }

private:
    void Unit(char16_t u) {
        if (used_ + 1 < kProgressLineUnits) line_[used_++] = u;
    }

    char16_t (&line_)[kProgressLineUnits];
    uint32_t used_ = 0;
};

}  // namespace

const char16_t* BootTextFor(BootText text, bool useChinese) {
    const TextPair& pair = kTexts[static_cast<uint32_t>(text)];
    return useChinese ? pair.chinese : pair.english;
}

uint32_t BuildProgressLine(uint64_t bytesMoved, uint64_t total, bool useChinese,
                           char16_t (&line)[kProgressLineUnits]) {
    const uint64_t m = bytesMoved / kMebibyte;
    const uint64_t t = total / kMebibyte;
    LineWriter w(line);
    w.Text(BootTextFor(BootText::MovingPrefix, useChinese));
    // A partition is far below 2^57 MiB, so m × 100 cannot wrap; t is at least 1.
    w.Decimal(t == 0 ? 0 : m * 100 / t);
    w.Text(u"% (");
    w.Gibibytes(m);
    w.Text(u"/");
    w.Gibibytes(t);
    w.Text(u" GB)");
    return w.Finish();
}

}  // namespace velta::boot
