// Environment expansion checked against a plain model on thousands of
// seeded random texts: values and texts of ASCII and Japanese (second bytes
// that look like '\\', '|' or '@' included), references to set and unset
// variables, stray and doubled percent signs, and results far longer than
// any buffer the system sizes for itself.
#include "Execution.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Variables the model knows; names are matched without regard to case.
struct Variable {
    std::string name;
    std::string value;
};

bool SameName(const std::string& a, const std::string& b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// A reference is "%" name "%": a set variable becomes its value, an unset
// one (or "%%") stays as written; either way the scan goes on after the
// second "%". A "%" without a second one stays, with the rest of the text.
std::string ModelExpand(const std::string& text, const std::vector<Variable>& variables)
{
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            out += text[i++];
            continue;
        }
        const std::size_t close = text.find('%', i + 1);  // '%' is never a second byte
        if (close == std::string::npos) {
            out += text.substr(i);
            break;
        }
        const std::string name = text.substr(i + 1, close - i - 1);
        const Variable* found = nullptr;
        for (const Variable& v : variables) {
            if (!name.empty() && SameName(v.name, name))
                found = &v;
        }
        if (found != nullptr) {
            out += found->value;
            i = close + 1;
        } else if (!name.empty() && GetEnvironmentVariableA(name.c_str(), nullptr, 0) > 0) {
            // One the test did not set (Wine passes on the host's "_").
            std::string value(GetEnvironmentVariableA(name.c_str(), nullptr, 0), '\0');
            value.resize(GetEnvironmentVariableA(name.c_str(), &value[0], static_cast<DWORD>(value.size())));
            out += value;
            i = close + 1;
        } else {
            out += text.substr(i, close + 1 - i);
            i = close + 1;
        }
    }
    return out;
}

std::size_t Characters(const std::string& text)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count)
        i += IsDBCSLeadByte(static_cast<BYTE>(text[i])) ? 2 : 1;
    return count;
}

class Pieces {
public:
    explicit Pieces(unsigned seed) : m_random(seed) {}

    std::size_t Below(std::size_t n)
    {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_random);
    }

    // Valid Shift-JIS: ASCII without '%', and Japanese characters whose
    // second byte is a path separator, a pipe, an at sign or a letter.
    std::string Plain(std::size_t characters)
    {
        static const std::vector<std::string> japanese = {Ansi("ソ"), Ansi("表"), Ansi("能"),
                                                          Ansi("ー"), Ansi("日本"), Ansi("予"),
                                                          Ansi("　")};
        static const std::string ascii = "abcXYZ019 \\:;.\"-_=";
        std::string text;
        for (std::size_t i = 0; i < characters; ++i)
            text += Below(3) == 0 ? japanese[Below(japanese.size())]
                                  : std::string(1, ascii[Below(ascii.size())]);
        return text;
    }

private:
    std::mt19937 m_random;
};

class ExpansionModel : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const Variable& v : variables)
            SetEnvironmentVariableA(v.name.c_str(), nullptr);
    }
    std::vector<Variable> variables;
};

TEST_F(ExpansionModel, RandomTextsExpandAsTheModelSays)
{
    Pieces pieces(20261208);
    const std::vector<std::string> unset = {"TARNIC_UNSET", "", "TARNIC X"};
    int expanded = 0, refused = 0;
    for (int round = 0; round < 100; ++round) {
        for (const Variable& v : variables)
            SetEnvironmentVariableA(v.name.c_str(), nullptr);
        variables.clear();
        for (int k = 0; k < 4; ++k) {
            // Mostly short values; now and then one of thousands of
            // characters, so that two references pass the 32K a single
            // value may hold.
            const std::size_t length = pieces.Below(8) == 0 ? 4000 + pieces.Below(14000) : pieces.Below(12);
            Variable v = {"Tarnic_V" + std::to_string(k), pieces.Plain(length)};
            ASSERT_TRUE(SetEnvironmentVariableA(v.name.c_str(), v.value.c_str())) << v.name;
            variables.push_back(v);
        }
        for (int i = 0; i < 100; ++i) {
            std::string text;
            const std::size_t parts = 1 + pieces.Below(6);
            for (std::size_t p = 0; p < parts; ++p) {
                switch (pieces.Below(5)) {
                case 0: text += pieces.Plain(pieces.Below(6)); break;
                case 1: {
                    std::string name = variables[pieces.Below(variables.size())].name;
                    if (pieces.Below(2) == 0)
                        name = Ansi("tarnic_v") + name.substr(8);  // another letter case
                    text += "%" + name + "%";
                    break;
                }
                case 2: text += "%" + unset[pieces.Below(unset.size())] + "%"; break;
                case 3: text += "%"; break;
                default: text += pieces.Plain(1);
                }
            }
            const std::string model = ModelExpand(text, variables);
            std::string got = "untouched";
            if (TryExpandEnvironment(text.c_str(), &got)) {
                ++expanded;
                ASSERT_EQ(model.size(), got.size())
                    << "text: " << text.substr(0, 200) << " got: " << got.substr(0, 200);
                ASSERT_EQ(model, got) << "text: " << text.substr(0, 200);
                EXPECT_EQ(model, ExpandEnvironment(text.c_str()));
            } else {
                // Refusal is for results the system cannot hold; the text
                // then runs as written, never cut.
                ++refused;
                EXPECT_EQ("untouched", got);
                EXPECT_GE(Characters(model), 32767u) << "text: " << text.substr(0, 200);
                EXPECT_EQ(text, ExpandEnvironment(text.c_str()));
            }
        }
    }
    RecordProperty("expanded", expanded);
    RecordProperty("refused", refused);
    EXPECT_GT(expanded, 8000);
    EXPECT_GT(refused, 0);
}

// An expansion is whole or refused: the system cuts anything past 32,766
// characters while reporting the whole size.
TEST_F(ExpansionModel, ResultsPastTheLimitAreRefusedNotCut)
{
    const struct {
        std::string character;
        std::size_t count;
        bool whole;
    } cases[] = {
        {"a", 16383, true},        // 32,766 characters: the most there can be
        {"a", 16384, false},
        {Ansi("表"), 16383, true},  // 65,532 bytes, twice what the call reports
        {Ansi("表"), 16384, false},
    };
    for (const auto& c : cases) {
        std::string value;
        for (std::size_t i = 0; i < c.count; ++i)
            value += c.character;
        variables = {{"TARNIC_HALF", value}};
        ASSERT_TRUE(SetEnvironmentVariableA("TARNIC_HALF", value.c_str()));
        std::string got = "untouched";
        EXPECT_EQ(c.whole, TryExpandEnvironment("%TARNIC_HALF%%TARNIC_HALF%", &got)) << c.count;
        EXPECT_EQ(c.whole ? value + value : "untouched", got) << c.count;
        EXPECT_EQ(c.whole ? value + value : "%TARNIC_HALF%%TARNIC_HALF%",
                  ExpandEnvironment("%TARNIC_HALF%%TARNIC_HALF%")) << c.count;
    }
}

}  // namespace
