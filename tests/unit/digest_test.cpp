// SHA-256 through the system's library, in the Linux and the Windows build:
// the standard's test vectors, a long input fed in uneven pieces, and the
// hash of a file against the one sha256sum printed when the build was set up.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/digest/sha256.hpp"
#include "sim_support.hpp"

namespace {

using velscan::platform::Sha256;
using velscan::platform::Sha256Hex;
using velscan::platform::Sha256HexOfFile;

std::span<const std::byte> Bytes(const std::string& text) {
    return std::as_bytes(std::span(text.data(), text.size()));
}

TEST(Sha256, GivesTheStandardsDigestsOfShortInputs) {
    EXPECT_EQ(Sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex(Bytes("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(Bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(Sha256, PiecesOfAnyLengthHashAsTheWhole) {
    const std::string million(1000000, 'a');
    Sha256 hash;
    std::size_t done = 0;
    for (std::size_t piece = 1; done < million.size(); piece = piece * 3 + 1) {
        const std::size_t now = std::min(piece, million.size() - done);
        hash.Update(Bytes(million).subspan(done, now));
        done += now;
    }
    EXPECT_EQ(hash.FinishHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, AFileHashesAsSha256sumHashedIt) {
    const char* expected = std::getenv("VELSCAN_TEST_LOOKUP_SHA256");
    ASSERT_NE(expected, nullptr) << "the build names the sha256sum of examples/LOOKUPHS";
    ASSERT_EQ(std::string(expected).size(), 64u);
    EXPECT_EQ(Sha256HexOfFile(velscan::simtest::ExampleLookupPath().string()), std::string(expected));
    EXPECT_EQ(Sha256HexOfFile((velscan::simtest::ExamplesDir() / "no such file").string()),
              std::nullopt);
}

}  // namespace
