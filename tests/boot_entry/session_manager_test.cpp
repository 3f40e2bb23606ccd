// Restarts of the simulated PC: the Session Manager starts what BootExecute names.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/core/machine.h"
#include "sim/boot/session_manager.h"

namespace velta {
namespace {

const std::u16string kEntry = u"autocheck VeltamoorMarker";
const std::u16string kChkdsk = u"autocheck autochk *";
const std::u16string kImage = u"C:\\Windows\\System32\\VeltamoorMarker.exe";

std::vector<std::u16string> BootList(sim::Machine& m) {
    return m.registry.GetMultiSz(sim::kSessionManagerKey, u"BootExecute").value_or(std::vector<std::u16string>{u"<none>"});
}

std::optional<sim::RegistryValue> Utc(sim::Machine& m) {
    return m.registry.Get(sim::kSessionManagerKey, u"VeltamoorMarkerUtc");
}

TEST(SessionManager, AStagedMarkerRunsAtOneRestartOnly) {
    sim::Machine m;
    m.registry.SetMultiSz(sim::kSessionManagerKey, u"BootExecute", {kChkdsk, kEntry});
    m.files.Put(kImage, sim::MarkerImageBytes());
    m.systemTime = 134117000000000000ull;

    auto first = sim::Restart(m);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].element, kChkdsk);
    EXPECT_FALSE(first[0].started);  // no autochk image on this machine
    EXPECT_EQ(first[1].element, kEntry);
    EXPECT_EQ(first[1].imagePath, kImage);
    EXPECT_EQ(first[1].started, sim::BootImage::Marker);
    EXPECT_EQ(first[1].exitStatus, 0);
    EXPECT_EQ(first[1].handlesLeftOpen, 0u);
    EXPECT_EQ(BootList(m), std::vector<std::u16string>{kChkdsk});
    const auto recorded = Utc(m);
    ASSERT_TRUE(recorded);
    EXPECT_EQ(recorded->type, sim::REG_QWORD);

    m.systemTime += 600000000;  // ten minutes later
    auto second = sim::Restart(m);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_FALSE(second[0].started);
    EXPECT_EQ(BootList(m), std::vector<std::u16string>{kChkdsk});
    EXPECT_EQ(Utc(m), recorded);
    EXPECT_FALSE(m.registry.Get(sim::kSessionManagerKey, u"VeltamoorMarkerStatus"));
}

TEST(SessionManager, TheImageDecidesWhichProgramRuns) {
    struct Case {
        std::string what;
        std::optional<std::vector<std::uint8_t>> image;
        std::optional<sim::BootImage> started;
    } cases[] = {
        {"the marker", sim::MarkerImageBytes(), sim::BootImage::Marker},
        {"the executor, installed under the marker's name", sim::MoveLabImageBytes(), sim::BootImage::MoveLab},
        {"an unknown image", std::vector<std::uint8_t>{'M', 'Z', 0, 0}, std::nullopt},
        {"no image", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Machine m;
        m.registry.SetMultiSz(sim::kSessionManagerKey, u"BootExecute", {kEntry});
        if (c.image) m.files.Put(kImage, *c.image);
        auto runs = sim::Restart(m);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].started, c.started);
        // Only a program that ran removes its entry.
        EXPECT_EQ(BootList(m), c.started ? std::vector<std::u16string>{} : std::vector<std::u16string>{kEntry});
        EXPECT_EQ(Utc(m).has_value(), c.started.has_value());
    }
}

TEST(SessionManager, ElementsThatNameNoBootImageStartNothing) {
    sim::Machine m;
    m.files.Put(kImage, sim::MarkerImageBytes());
    m.files.Put(u"C:\\Windows\\System32\\VeltamoorMarker2.exe", sim::MarkerImageBytes());
    const std::vector<std::u16string> list = {u"VeltamoorMarker", u"autocheck", u"autocheck VeltamoorMarker2",
                                              u"autocheck ..\\VeltamoorMarker"};
    m.registry.SetMultiSz(sim::kSessionManagerKey, u"BootExecute", list);
    auto runs = sim::Restart(m);
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_FALSE(runs[0].started);
    EXPECT_FALSE(runs[1].started);
    // A marker under another name runs, but finds no entry of its own to remove.
    EXPECT_EQ(runs[2].started, sim::BootImage::Marker);
    EXPECT_FALSE(runs[3].started);
    EXPECT_EQ(BootList(m), list);
    EXPECT_FALSE(Utc(m));
}

}  // namespace
}  // namespace velta
