// Message boxes from the string table, captured and closed by the test.
#include "ResourceMessage.h"
#include "MessageBoxCapture.h"
#include "TestFiles.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kCaption[] = "Pellor Error Information";

HINSTANCE Self() { return GetModuleHandleA(nullptr); }

CapturedMessageBox Show(UINT id, UINT type, const char* value = nullptr)
{
    MessageBoxCapture capture;
    const int button = ShowResourceMessage(Self(), nullptr, id, type, 0, value);
    EXPECT_EQ(IDOK, button);
    EXPECT_EQ(1u, capture.Boxes().size());
    return capture.Boxes().empty() ? CapturedMessageBox() : capture.Boxes()[0];
}

struct MessageCase {
    UINT id;
    const char* text;  // UTF-8
    bool captioned;
};

TEST(StringTable, EveryMessageHasItsTextAndCaption)
{
    const MessageCase cases[] = {
        {IDS_ENTER_COMMAND_WORD, "登録するコマンドを入力してください", true},
        {IDS_ENTER_PROGRAM, "起動するプログラムを入力してください", true},
        {IDS_COMMAND_EXISTS, "指定したコマンドは既に登録されています", true},
        {IDS_COMMAND_RESERVED, "指定したコマンドは予約コマンドとして使われています", true},
        {IDS_NO_HOT_KEY, "ホットキーが設定されていません", true},
        {IDS_COMMAND_HAS_SPACE, "コマンドにスペースが含まれています", true},
        {IDS_ADD_COMMAND_FAILED, "コマンドの追加に失敗しました\nメモリが不足している可能性があります", true},
        {IDS_REMOVE_COMMAND_FAILED, "コマンドの削除に失敗しました\nメモリが不足している可能性があります", true},
        {IDS_INIT_FAILED, "プログラムの初期化に失敗しました\nプログラムを終了します", true},
        {IDS_AUTOSTART_FAILED, "スタートアップ登録に失敗しました", true},
        {IDS_SAVE_SETTINGS_FAILED, "設定ファイルの保存に失敗しました", true},
        {IDS_SYSTEM_RENAMED,
         "\"SYSTEM\" はVersion 2.18で新たに予約コマンドに指定されたので使えません。\n"
         "以前の \"SYSTEM\" で登録していたコマンドは、頭にスペースを足して \" SYSTEM\" に変えておきますので、\n"
         "お手数ですが違う名前に変更してください。\n"
         "(そのままだとスペースのせいで実行できません。)",
         true},
        {IDS_COMMAND_LINE_TOO_LONG, "Windowsの仕様で、コマンドラインは255文字を超えることはできません。", false},
        {IDS_EXECUTE_FAILED,
         "プログラムの実行に失敗しました\n登録したプログラムが移動・削除されているかもしれません\n\n\"x.exe\"", true},
    };
    for (const MessageCase& c : cases) {
        const CapturedMessageBox box = Show(c.id, MB_ICONWARNING, "\"x.exe\"");
        EXPECT_EQ(Ansi(c.text), box.text) << c.id;
        EXPECT_EQ(c.captioned, box.captionGiven) << c.id;
        if (c.captioned) {
            EXPECT_EQ(kCaption, box.caption) << c.id;
        }
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), box.type) << c.id;
        EXPECT_EQ(0, box.language) << c.id;
    }
}

TEST(StringTable, CaptionsAndTitles)
{
    const struct {
        UINT id;
        const char* text;
    } cases[] = {
        {IDS_SETTINGS_CAPTION, "Pellor 設定"},
        {IDS_COLUMN_COMMAND, "登録コマンド"},
        {IDS_COLUMN_COMMAND_LINE, "実行するコマンドライン"},
        {IDS_BROWSE_PROGRAM_TITLE, "起動させるプログラムを指定してください"},
        {IDS_AUTOSTART_DESCRIPTION, "Morrowfield  Pellor の自動起動"},
        {IDS_COLUMN_ITEM_COUNT, "アイテム数"},
        {IDS_COLUMN_FIRST_COMMAND_LINE, "１つ目のコマンドライン"},
    };
    for (const auto& c : cases) {
        char text[512] = {};
        LoadStringA(Self(), c.id, text, sizeof text);
        EXPECT_EQ(Ansi(c.text), text) << c.id;
    }
}

TEST(ShowResourceMessage, ShowsTheBoxAsTheUserSeesIt)
{
    const CapturedMessageBox box = Show(IDS_SAVE_SETTINGS_FAILED, MB_ICONWARNING);
    EXPECT_EQ(kCaption, box.shownCaption);
    EXPECT_EQ(Ansi("設定ファイルの保存に失敗しました"), box.shownText);

    // Without a caption part the system's own caption shows.
    const CapturedMessageBox plain = Show(IDS_COMMAND_LINE_TOO_LONG, MB_ICONWARNING);
    EXPECT_FALSE(plain.captionGiven);
    EXPECT_NE(kCaption, plain.shownCaption);
    EXPECT_FALSE(plain.shownCaption.empty());
}

TEST(ShowResourceMessage, MissingEntryShowsABlankBox)
{
    const CapturedMessageBox box = Show(2999, MB_ICONERROR);
    EXPECT_FALSE(box.textGiven);
    EXPECT_FALSE(box.captionGiven);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), box.type);
}

TEST(ShowResourceMessage, LongTextsAreCutNeverOverrun)
{
    // 500 bytes of command line push the caption out of the 511 bytes.
    const std::string line(500, 'x');
    const CapturedMessageBox box = Show(IDS_EXECUTE_FAILED, MB_ICONWARNING, line.c_str());
    EXPECT_EQ(511u, box.text.size());
    EXPECT_FALSE(box.captionGiven);

    // Cut where a double-byte character would be split: 表 is 0x95 0x5C.
    std::string japanese;
    while (japanese.size() < 600)
        japanese += "\x95\x5C";
    const CapturedMessageBox cut = Show(9002, MB_ICONWARNING, japanese.c_str());
    EXPECT_EQ(510u, cut.text.size());
    EXPECT_EQ(japanese.substr(0, 510), cut.text);

    // A caption keeps its first 127 bytes.
    const CapturedMessageBox longCaption = Show(9001, MB_ICONINFORMATION);
    EXPECT_EQ(std::string(127, 'A'), longCaption.caption);
    EXPECT_EQ(Ansi("本文"), longCaption.text);

    // ... and is cut before a character that would straddle byte 127.
    const CapturedMessageBox japaneseCaption = Show(9003, MB_ICONINFORMATION);
    EXPECT_EQ(126u, japaneseCaption.caption.size());
    EXPECT_EQ(Ansi("見出し表示"), japaneseCaption.text);
}

TEST(ShowResourceMessage, SecondBytesNeverSplitTheMessage)
{
    // 0x81 0x1B is taken as one character: its second byte is not the
    // separator. ソ and 表 end in 0x5C, and 0x81 0x25 holds a '%'.
    const std::string value = "A\x81\x1B" "B\x83\x5C\x95\x5C\x81\x25" "s";
    const CapturedMessageBox box = Show(9002, MB_ICONWARNING, value.c_str());
    EXPECT_EQ(value, box.text);
    EXPECT_EQ(Ansi("見出し"), box.caption);
}

}  // namespace
