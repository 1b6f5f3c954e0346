#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "sim/faults.hpp"
#include "sim_support.hpp"

namespace velscan {
namespace {

TEST(SimFaults, EveryFaultOfTheListIsRead) {
    const sim::FaultSet faults = sim::ParseFaults(
        "no-laser, no-card,calibration=1001,calibration-silent,fail=0x9c402048,"
        "fail=0x9C402015@3,fail=2621448220,stall@7,stall@4,overflow@2,overflow@5,invalid@0,,");
    EXPECT_TRUE(faults.noLaser);
    EXPECT_TRUE(faults.noCard);
    EXPECT_EQ(faults.calibrationValue, 1001u);
    EXPECT_TRUE(faults.calibrationSilent);
    ASSERT_EQ(faults.controlFaults.size(), 3u);
    EXPECT_EQ(faults.controlFaults[0].code, 0x9c402048u);
    EXPECT_EQ(faults.controlFaults[0].fromIssue, 1u);
    EXPECT_EQ(faults.controlFaults[1].code, 0x9c402015u);
    EXPECT_EQ(faults.controlFaults[1].fromIssue, 3u);
    EXPECT_EQ(faults.controlFaults[2].code, 0x9c40201cu);
    EXPECT_EQ(faults.stallLine, 4u);  // the earlier stall wins
    EXPECT_TRUE(faults.OverflowLine(2) && faults.OverflowLine(5) && !faults.OverflowLine(3));
    EXPECT_TRUE(faults.InvalidLine(0) && !faults.InvalidLine(1));
    EXPECT_TRUE(faults.Any());

    EXPECT_FALSE(sim::ParseFaults("").Any());
    EXPECT_FALSE(sim::ParseFaults(" , ").Any());
}

TEST(SimFaults, WhatCannotBeReadIsRefusedByName) {
    const std::pair<const char*, const char*> cases[] = {
        {"no-lazer", "'no-lazer': unknown fault"},
        {"calibration=8192", "must be 0..8191"},
        {"calibration=", "must be 0..8191"},
        {"fail=", "expected a control code"},
        {"fail=0x1FFFFFFFF", "expected a control code"},
        {"fail=0x9c402048@0", "counts from 1"},
        {"fail=0x9c402048@x", "counts from 1"},
        {"stall@", "decimal number"},
        {"overflow@0x3", "decimal number"},
        {"invalid@-1", "decimal number"},
        {"no-card,stall", "'stall': unknown fault"},
    };
    for (const auto& [list, message] : cases) {
        try {
            sim::ParseFaults(list);
            ADD_FAILURE() << "accepted: " << list;
        } catch (const sim::FaultError& error) {
            const std::string what = error.what();
            EXPECT_EQ(what.rfind("VELSCAN_SIM_FAULTS: ", 0), 0u) << what;
            EXPECT_NE(what.find(message), std::string::npos) << what;
        }
    }
}

TEST(SimFaults, TheTableNamesEachFaultOnceAndTheListTellsTheKnownNames) {
    std::set<std::string_view> keys;
    std::string names;
    for (const sim::FaultKind& kind : sim::FaultTable()) {
        EXPECT_TRUE(keys.insert(kind.key).second) << kind.key;
        EXPECT_TRUE(kind.name.starts_with(kind.key)) << kind.name;
        EXPECT_NE(kind.honouredBy, 0u) << kind.name << " is injected by nothing";
        names += (names.empty() ? "" : ", ") + std::string(kind.name);
    }
    EXPECT_EQ(sim::KnownFaultNames(), names);
    try {
        sim::ParseFaults("stall@1,nonsense");
        ADD_FAILURE() << "accepted an unknown fault";
    } catch (const sim::FaultError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "VELSCAN_SIM_FAULTS: 'nonsense': unknown fault (known: " + names + ")");
    }
}

TEST(SimFaults, EachItemKeepsItsKindInTheListsOrder) {
    const sim::FaultSet faults = sim::ParseFaults(" invalid@2 ,no-card,fail=0x9c402000@2");
    ASSERT_EQ(faults.items.size(), 3u);
    EXPECT_EQ(faults.items[0].text, "invalid@2");
    EXPECT_EQ(faults.items[0].kind->key, "invalid@");
    EXPECT_EQ(faults.items[1].kind->key, "no-card");
    EXPECT_EQ(faults.items[2].text, "fail=0x9c402000@2");

    // The first item none of the given parts injects.
    EXPECT_EQ(sim::FirstUnhonoured(faults, sim::kSimulatedCard | sim::kCardOpener), nullptr);
    const auto* refused = sim::FirstUnhonoured(faults, sim::kReplayCard | sim::kCardOpener);
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->text, "invalid@2");
    refused = sim::FirstUnhonoured(faults, sim::kSimulatedCard);
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->text, "no-card");
    EXPECT_EQ(sim::FirstUnhonoured(sim::ParseFaults(""), 0), nullptr);
}

TEST(SimFaults, StallIsReachedAtTheStalledLinesFirstSample) {
    const sim::FaultSet stall = sim::ParseFaults("stall@2");
    EXPECT_FALSE(stall.StallReached(2 * kSamplesPerLine - 1));
    EXPECT_TRUE(stall.StallReached(2 * kSamplesPerLine));
    EXPECT_TRUE(sim::ParseFaults("stall@0").StallReached(0));
    EXPECT_FALSE(sim::ParseFaults("invalid@0").StallReached(1'000'000));
}

// The rows of the table of faults in the simulated instrument's page: name,
// effect and the parts that inject it, each cell without its backticks.
std::vector<std::vector<std::string>> ReadmeFaultRows() {
    std::ifstream readme(simtest::ExamplesDir().parent_path() / "docs" / "simulated-instrument.md");
    std::vector<std::vector<std::string>> rows;
    bool inSection = false;
    bool inTable = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.starts_with("## ")) inSection = line == "## Faults of the simulated instrument";
        if (!inSection) continue;
        if (!line.starts_with("|")) {
            if (inTable) break;  // the first table of the section ends
            continue;
        }
        inTable = true;
        if (line.starts_with("| Fault |") || line.starts_with("|---")) continue;
        std::vector<std::string> cells;
        std::stringstream split(line.substr(1));
        for (std::string cell; std::getline(split, cell, '|');) {
            std::string text;
            for (const char c : cell)
                if (c != '`') text += c;
            const auto first = text.find_first_not_of(' ');
            const auto last = text.find_last_not_of(' ');
            cells.push_back(first == std::string::npos ? "" : text.substr(first, last - first + 1));
        }
        rows.push_back(cells);
    }
    return rows;
}

TEST(SimFaults, TheReadmesListIsTheTable) {
    const auto rows = ReadmeFaultRows();
    const auto table = sim::FaultTable();
    ASSERT_EQ(rows.size(), table.size()) << "docs/simulated-instrument.md's table of faults";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 3u) << "docs/simulated-instrument.md fault row " << i;
        EXPECT_EQ(rows[i][0], table[i].name);
        EXPECT_EQ(rows[i][1], table[i].effect) << table[i].name;
        EXPECT_EQ(rows[i][2], sim::FaultPartNames(table[i].honouredBy)) << table[i].name;
    }
}

}  // namespace
}  // namespace velscan
