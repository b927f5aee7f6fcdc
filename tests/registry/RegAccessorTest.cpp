#include "mirov/RegAccessor.h"
#include "mirov/RegSubKeyBase.h"
#include "mirov/RegValueBase.h"

#include "tests/support/ScratchKey.h"
#include "tests/support/TestFolder.h"
#include "tools/common/ChildProcess.h"
#include "tools/common/MessageBoxWatcher.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t kUntouched = 0xA5A5A5A5;
// What the accessor's every use here needs: reading, writing and deleting values.
constexpr REGSAM kRights = KEY_QUERY_VALUE | KEY_SET_VALUE;

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

LSTATUS QueryKey(HKEY key) {
    DWORD values = 0;
    return ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                              nullptr, nullptr, nullptr);
}

// What ReadDword gives for the value `name`, with the destination preset so that a write shows.
std::pair<bool, uint32_t> Read(mirov::RegAccessor& key, const char* name) {
    uint32_t value = kUntouched;
    const bool read = key.ReadDword(name, value);
    return {read, value};
}

} // namespace

TEST(RegAccessor, OpenWithoutCreateOnAMissingKeyFailsAndStaysClosed) {
    ScratchKey scratch(TestKeyPath());
    {
        mirov::RegAccessor key;
        EXPECT_FALSE(key.Open(HKEY_LOCAL_MACHINE, scratch.Path().c_str(), false, kRights));
        EXPECT_FALSE(key.IsOpen());
        EXPECT_EQ(key.SubKeys(), nullptr);
        EXPECT_EQ(key.Values(), nullptr);
        EXPECT_EQ(Read(key, "Any"), std::make_pair(false, kUntouched));
        EXPECT_FALSE(key.WriteDword("Any", 1));
    }
    EXPECT_FALSE(scratch.Exists());
}

TEST(RegAccessor, CreatedKeyIsReachedAgainUnderTheOtherLetterCase) {
    ScratchKey scratch(TestKeyPath());
    mirov::RegAccessor key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, scratch.Path().c_str(), true, kRights));
    EXPECT_TRUE(key.IsOpen());
    EXPECT_TRUE(scratch.Exists());
    EXPECT_TRUE(key.WriteDword("Level", 7));
    key.Close();
    EXPECT_FALSE(key.IsOpen());

    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, Upper(scratch.Path()).c_str(), false, kRights));
    EXPECT_EQ(Read(key, "LEVEL"), std::make_pair(true, 7u));
    key.Close();
    // Creating a key that exists opens it as it is.
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, Upper(scratch.Path()).c_str(), true, kRights));
    EXPECT_EQ(Read(key, "Level"), std::make_pair(true, 7u));
}

TEST(RegAccessor, ClosedAccessorTouchesNothingAndOpensAgain) {
    ScratchKey scratch(TestKeyPath());
    scratch.SetDword("Kept", 3);
    mirov::RegAccessor key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, scratch.Path().c_str(), false, kRights));
    key.Close();
    key.Close(); // a second close has nothing left to release
    EXPECT_EQ(Read(key, "Kept"), std::make_pair(false, kUntouched));
    EXPECT_FALSE(key.WriteDword("Kept", 4));
    EXPECT_FALSE(key.DeleteValue("Kept"));
    EXPECT_EQ(scratch.Dword("Kept"), 3u);

    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, scratch.Path().c_str(), false, kRights));
    EXPECT_EQ(Read(key, "Kept"), std::make_pair(true, 3u));
}

TEST(RegAccessor, ReadDwordTakesOnlyFourByteDwords) {
    ScratchKey scratch(TestKeyPath());
    scratch.SetDword("Dword", 0xFFFFFFFF);
    scratch.SetString("Short", "ab"); // 3 bytes: fits the destination
    scratch.SetString("Long", "a longer text");
    scratch.SetRaw("Binary8", REG_BINARY, std::string(8, '\x11'));
    scratch.SetRaw("Binary4", REG_BINARY, std::string(4, '\x22'));
    scratch.SetRaw("Dword2", REG_DWORD, std::string(2, '\x33'));
    mirov::RegAccessor key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, scratch.Path().c_str(), false, kRights));

    EXPECT_EQ(Read(key, "Dword"), std::make_pair(true, 4294967295u));
    // A failed read leaves the destination as it was, even when the data would have fitted.
    for (const char* name : {"Short", "Long", "Binary8", "Binary4", "Dword2", "Missing"})
        EXPECT_EQ(Read(key, name), std::make_pair(false, kUntouched)) << name;
}

TEST(RegAccessor, WriteDwordReplacesAValueOfAnyType) {
    ScratchKey scratch(TestKeyPath());
    scratch.SetString("Level", "text");
    mirov::RegAccessor key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, scratch.Path().c_str(), false, kRights));
    EXPECT_TRUE(key.WriteDword("Level", 0x12345678));
    EXPECT_EQ(scratch.Type("Level"), static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(scratch.Dword("Level"), 0x12345678u);
    EXPECT_TRUE(key.WriteDword("New", 0));
    EXPECT_EQ(scratch.Dword("New"), 0u);
}

TEST(RegAccessor, DeleteValueFailsForAMissingName) {
    ScratchKey scratch(TestKeyPath());
    scratch.SetDword("Gone", 1);
    scratch.SetDword("Other", 2);
    mirov::RegAccessor key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, scratch.Path().c_str(), false, kRights));
    EXPECT_TRUE(key.DeleteValue("Gone"));
    EXPECT_FALSE(scratch.Has("Gone"));
    EXPECT_FALSE(key.DeleteValue("Gone"));
    EXPECT_FALSE(key.DeleteValue("Missing"));
    EXPECT_EQ(scratch.Dword("Other"), 2u);
}

TEST(RegAccessor, AttachedHandleSurvivesCloseAndDestruction) {
    ScratchKey scratch(TestKeyPath());
    scratch.SetDword("Value", 5);
    mirov::UniqueHkey handle;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, scratch.Path().c_str(), 0, KEY_ALL_ACCESS, handle.Put()),
              ERROR_SUCCESS);
    {
        mirov::RegAccessor key;
        EXPECT_TRUE(key.Attach(handle.Get()));
        EXPECT_TRUE(key.IsOpen());
        EXPECT_EQ(Read(key, "Value"), std::make_pair(true, 5u));
        key.Close();
        EXPECT_FALSE(key.IsOpen());
        ASSERT_TRUE(key.Attach(handle.Get())); // closed again, so it may take a key once more
    }
    const DWORD six = 6;
    EXPECT_EQ(::RegSetValueExA(handle.Get(), "Value", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&six),
                               sizeof six),
              ERROR_SUCCESS);
    EXPECT_EQ(scratch.Dword("Value"), 6u);
}

TEST(RegAccessor, OwnedKeyIsReleasedByCloseAndByDestruction) {
    ScratchKey scratch(TestKeyPath());
    mirov::RegAccessor key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, scratch.Path().c_str(), true, kRights));
    HKEY handle = key.Handle();
    EXPECT_EQ(QueryKey(handle), ERROR_SUCCESS);
    key.Close();
    EXPECT_EQ(QueryKey(handle), ERROR_INVALID_HANDLE);

    {
        mirov::RegAccessor scoped;
        ASSERT_TRUE(scoped.Open(HKEY_LOCAL_MACHINE, scratch.Path().c_str(), false, kRights));
        handle = scoped.Handle();
        EXPECT_EQ(QueryKey(handle), ERROR_SUCCESS);
    }
    EXPECT_EQ(QueryKey(handle), ERROR_INVALID_HANDLE);
}

TEST(RegAccessor, KeyWithoutWriteAccessOpensForReadingOnly) {
    ScratchKey scratch(TestKeyPath());
    scratch.SetDword("Value", 1);
    DenySetValue deny(scratch);
    ASSERT_TRUE(deny.Applied());

    mirov::RegAccessor key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, scratch.Path().c_str(), false, KEY_QUERY_VALUE));
    EXPECT_EQ(Read(key, "Value"), std::make_pair(true, 1u));
    EXPECT_TRUE(key.Values()->HasNameBuffer()); // the key query needs no more than reading
    EXPECT_FALSE(key.WriteDword("Value", 2));   // the handle holds only what was asked for
    EXPECT_FALSE(key.DeleteValue("Value"));
    key.Close();
    EXPECT_FALSE(key.Open(HKEY_LOCAL_MACHINE, scratch.Path().c_str(), false, kRights));
    EXPECT_FALSE(key.Open(HKEY_LOCAL_MACHINE, scratch.Path().c_str(), true, kRights));
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(scratch.Dword("Value"), 1u);
}

TEST(RegAccessor, EnumerationBuffersFitTheLongestNames) {
    ScratchKey scratch(TestKeyPath());
    scratch.SetDword("a", 1);
    scratch.SetDword("LongestValueName1", 2); // 17 characters
    scratch.CreateSubKey("x");
    scratch.CreateSubKey("abcdef"); // 6 characters
    mirov::RegAccessor key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, scratch.Path().c_str(), false, kRights));
    ASSERT_NE(key.Values(), nullptr);
    ASSERT_NE(key.SubKeys(), nullptr);
    EXPECT_EQ(key.Values()->NameBufferSize(), 18u);
    EXPECT_TRUE(key.Values()->HasNameBuffer());
    EXPECT_EQ(key.SubKeys()->NameBufferSize(), 7u);
    EXPECT_TRUE(key.SubKeys()->HasNameBuffer());
    key.Close();
    EXPECT_EQ(key.Values(), nullptr);
    EXPECT_EQ(key.SubKeys(), nullptr);

    ScratchKey empty(TestKeyPath() + "\\abcdef");
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, empty.Path().c_str(), true, kRights));
    EXPECT_EQ(key.Values()->NameBufferSize(), 1u);
    EXPECT_EQ(key.SubKeys()->NameBufferSize(), 1u);
}

TEST(RegAccessor, FailedKeyQueryStillOpensWithoutBuffers) {
    // A handle that names no key: the information query fails, the accessor opens all the same.
    const HKEY bogus = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7FFFFFF0));
    ASSERT_EQ(QueryKey(bogus), ERROR_INVALID_HANDLE);
    mirov::RegAccessor key;
    EXPECT_TRUE(key.Attach(bogus));
    EXPECT_TRUE(key.IsOpen());
    ASSERT_NE(key.Values(), nullptr);
    ASSERT_NE(key.SubKeys(), nullptr);
    EXPECT_EQ(key.Values()->NameBufferSize(), 0u);
    EXPECT_FALSE(key.Values()->HasNameBuffer());
    EXPECT_EQ(key.SubKeys()->NameBufferSize(), 0u);
    EXPECT_FALSE(key.SubKeys()->HasNameBuffer());
    EXPECT_EQ(Read(key, "Value"), std::make_pair(false, kUntouched));
}

namespace {

struct ProbeOutcome {
    DWORD exitCode;
    std::vector<MessageBoxWatcher::Box> boxes;
};

ProbeOutcome RunProbe(const char* name, const std::string& keyPath) {
    ChildProcess child;
    const std::string exe = TestFolder::BinFolder() + "TorvexRegistryTests.exe";
    if (!child.Start(exe, std::string("--probe ") + name + " \"" + keyPath + "\""))
        return {0xFFFFFFFF, {}};
    MessageBoxWatcher watcher(child.Pid());
    child.Wait(60000);
    return {child.ExitCode(), watcher.Boxes()};
}

// The line number of a failed "!IsOpen()" check in the accessor's source, or -1.
int FailedOpenCheckLine(const ProbeOutcome& outcome) {
    const std::string prefix = "Assertion failed: !IsOpen(), file mirov/RegAccessor.cpp, line ";
    EXPECT_EQ(outcome.exitCode, 3u);
    if (outcome.boxes.size() != 2u) {
        ADD_FAILURE() << outcome.boxes.size() << " boxes";
        return -1;
    }
    EXPECT_EQ(outcome.boxes[1].text, "Abnormal program termination");
    const std::string& text = outcome.boxes[0].text;
    if (text.compare(0, prefix.size(), prefix) != 0) {
        ADD_FAILURE() << text;
        return -1;
    }
    return std::stoi(text.substr(prefix.size()));
}

} // namespace

TEST(RegAccessor, OpeningAnOpenAccessorFailsItsOwnCheck) {
    ScratchKey scratch(TestKeyPath());
    const int openLine = FailedOpenCheckLine(RunProbe("open-twice", scratch.Path()));
    const int attachLine = FailedOpenCheckLine(RunProbe("attach-twice", scratch.Path()));
    EXPECT_GT(openLine, 0);
    EXPECT_GT(attachLine, 0);
    EXPECT_NE(openLine, attachLine); // Open checks before it opens anything, not only through Attach
}
