#include "toolkit/EditMask.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kCpf = "999.999.999-99;0;_";
constexpr const char* kCnpj = "99.999.999/9999-99;0;_";

TEST(FormatMaskTextTest, InsertsLiteralsIntoRawValues) {
    struct Case {
        const char* mask;
        const char* value;
        const char* expected;
    };
    const Case cases[] = {
        {kCpf, "12345678909", "123.456.789-09"},
        {kCnpj, "11222333000181", "11.222.333/0001-81"},
        // Already formatted: the same text, literals not doubled.
        {kCpf, "123.456.789-09", "123.456.789-09"},
        {kCnpj, "11.222.333/0001-81", "11.222.333/0001-81"},
        // Unfilled slots show the blank character; extra characters are not hidden.
        {kCpf, "1234", "123.4__.___-__"},
        {kCpf, "1234567890912", "123.456.789-0912"},
        {"99;1; ", "5", "5 "},
        {"99;1; ", "05", "05"},
        {">LL-99;1;_", "ab12", "AB-12"},
        {"\\(99\\);0;_", "12", "(12)"},
        {"", "12345678909", "12345678909"},
        {kCpf, "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tk::FormatMaskText(c.mask, c.value), c.expected) << c.mask << " " << c.value;
}

TEST(FormatMaskTextTest, IsIdempotent) {
    for (const char* value : {"12345678909", "123"})
        EXPECT_EQ(tk::FormatMaskText(kCpf, tk::FormatMaskText(kCpf, value)), tk::FormatMaskText(kCpf, value));
}

TEST(MaskRawTextTest, TakesLiteralsOutOnlyForMasksThatDoNotSaveThem) {
    EXPECT_EQ(tk::MaskRawText(kCpf, "123.456.789-09"), "12345678909");
    EXPECT_EQ(tk::MaskRawText(kCnpj, "11.222.333/0001-81"), "11222333000181");
    EXPECT_EQ(tk::MaskRawText(kCpf, "12345678909"), "12345678909");
    EXPECT_EQ(tk::MaskRawText(kCpf, "123.4"), "1234");
    EXPECT_EQ(tk::MaskRawText("99-99;1;_", "12-34"), "12-34");
    EXPECT_EQ(tk::MaskRawText("", "1.2"), "1.2");
}

} // namespace
