#include <gtest/gtest.h>

#include "os/OsLibrary.h"

TEST(OsLibrary, LoadsALibraryAndFindsOnlyItsSymbols)
{
    OsLibrary library;
    EXPECT_EQ(library.Symbol("VlmTestAnswer"), nullptr); // nothing loaded yet
    ASSERT_TRUE(library.Load(VLM_TEST_DLOPEN_LIB)) << library.Error();
    using AnswerFn = int (*)(int);
    auto answer = reinterpret_cast<AnswerFn>(library.Symbol("VlmTestAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(20), 41);
    EXPECT_EQ(library.Symbol("VlmNoSuchSymbol"), nullptr);
    EXPECT_EQ(library.Symbol(nullptr), nullptr);
    library.Unload();
    EXPECT_EQ(library.Symbol("VlmTestAnswer"), nullptr);
}

TEST(OsLibrary, MissingOrBrokenLibraryReportsAnError)
{
    OsLibrary library;
    EXPECT_FALSE(library.Load("no-such-plugin.api"));
    EXPECT_FALSE(library.Error().empty());
    EXPECT_EQ(library.Symbol("VlmTestAnswer"), nullptr);

    // A file that is not a shared library.
    EXPECT_FALSE(library.Load(__FILE__));
    EXPECT_FALSE(library.Error().empty());

    ASSERT_TRUE(library.Load(VLM_TEST_DLOPEN_LIB)) << library.Error();
    EXPECT_TRUE(library.Error().empty());
}
