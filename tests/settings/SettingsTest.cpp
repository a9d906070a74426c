// The settings record: what a first run starts with, and what a copy keeps.
#include "Settings.h"

#include <gtest/gtest.h>

namespace {

TEST(Settings, FirstRunDefaults)
{
    RECT area;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
    const CSettings settings;
    // A 150 by 20 window in the bottom-left corner of the work area.
    EXPECT_EQ(area.left, settings.Window.x);
    EXPECT_EQ(area.bottom - 20, settings.Window.y);
    EXPECT_EQ(150, settings.Window.cx);
    EXPECT_EQ(20, settings.Window.cy);
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), settings.Window.TextColor);
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), settings.Window.BgColor);
    EXPECT_EQ(255, settings.Window.Transparency);
    EXPECT_EQ("", settings.Window.FontFace);
    EXPECT_EQ(0x064C, settings.HotKey);
    EXPECT_TRUE(settings.AutoComplete && settings.IntelliSense && settings.ApplyReservedCommand);
    EXPECT_TRUE(settings.HistoryList && settings.Stationed);
    EXPECT_FALSE(settings.AutoStart);
    EXPECT_EQ(20u, settings.HistorySize);
    EXPECT_EQ(20u, settings.History.GetCapacity());
    EXPECT_EQ(0u, settings.Commands.GetCount());
}

TEST(Settings, CopyKeepsEverythingButTheBrowsingPosition)
{
    CSettings source;
    for (const char* word : {"zeta", "alpha", "mid"}) {
        CCommandLinesEx lines;
        lines.Add(std::string(word) + ".exe");
        lines.Add("second line");
        source.Commands.Insert(CCommandEntry(word, lines));
    }
    source.Window.x = -5;
    source.Window.FontFace = "MS Gothic";
    source.Window.FontSize = -12;
    source.HistorySize = 7;
    source.History.SetCapacity(7);
    source.History.Add("one");
    source.History.Add("two");
    source.History.SetPosition(2);
    source.Stationed = false;
    source.HotKey = 0x0241;

    CSettings target;
    CCommandLinesEx stale;
    stale.Add("stale");
    target.Commands.Insert(CCommandEntry("stale", stale));
    target = source;

    EXPECT_TRUE(target.Commands.IsEqual(source.Commands));
    ASSERT_EQ(3u, target.Commands.GetCount());
    EXPECT_EQ("zeta", target.Commands.GetOrder()[0]->word);  // registration order
    EXPECT_EQ(nullptr, target.Commands.Find("stale"));
    EXPECT_TRUE(target.Window == source.Window);
    EXPECT_EQ(7u, target.HistorySize);
    EXPECT_EQ(7u, target.History.GetCapacity());
    ASSERT_EQ(2u, target.History.GetCount());
    EXPECT_EQ("two", target.History.GetAt(0));
    EXPECT_EQ(0u, target.History.GetPosition());
    EXPECT_FALSE(target.Stationed);
    EXPECT_EQ(0x0241, target.HotKey);

    // Deep: changing the copy leaves the source alone.
    target.Commands.Find("mid")->lines.Add("third");
    EXPECT_FALSE(target.Commands.IsEqual(source.Commands));
    const CSettings copied(source);
    EXPECT_TRUE(copied.Commands.IsEqual(source.Commands));
}

}  // namespace
