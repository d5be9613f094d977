// The desktop window's own texts: captions, labels, menu items and messages. Qt shows
// them, so they stay UTF-8 here; the texts that go over the wire live in the server's
// text table (code page 932).
#pragma once

namespace DesktopTexts {

// Window caption, stopped and running ("%1" is the number of connected users).
inline constexpr char StoppedCaption[] = "TavoServer  停止中・・・";
inline constexpr char RunningCaption[] = "TavoServer  運転中・・・ ( %1 Users )";
// Title of every message box.
inline constexpr char ProgramTitle[] = "TavoServer";

// Menus.
inline constexpr char FileMenu[] = "ファイル";
inline constexpr char StartServiceItem[] = "サービス開始";
inline constexpr char StopServiceItem[] = "サービス停止";
inline constexpr char ExitItem[] = "終了";
inline constexpr char HelpItem[] = "ヘルプ";

// Pages and their labels.
inline constexpr char ServerPage[] = "サーバー";
inline constexpr char MotdPage[] = "接続メッセージ";
inline constexpr char ServerNameLabel[] = "サーバー名：";
inline constexpr char ServerInfoLabel[] = "サーバー情報：";
inline constexpr char PortLabel[] = "ポート：";
inline constexpr char MaxConnectionLabel[] = "最大接続数：";
inline constexpr char PingIntervalLabel[] = "Ｐｉｎｇを送信する間隔： ( 秒 )";
inline constexpr char MaxChannelLabel[] = "参加チャンネル最大数：";

// The edits' texts before the settings are put into them.
inline constexpr char ServerNameDefault[] = "ChatServerName";
inline constexpr char ServerInfoDefault[] = "Local IRC Server";
inline constexpr char PortDefault[] = "6667";
inline constexpr char MaxConnectionDefault[] = "10";
inline constexpr char PingIntervalDefault[] = "120";
inline constexpr char MaxChannelDefault[] = "5";

// Messages ("%1" is filled in).
inline constexpr char UseExitMenu[] = "メニューの終了ボタンを押してください";
inline constexpr char NotAnInteger[] = "'%1' は整数ではありません";
inline constexpr char NotShiftJis[] =
    "「%1」はシフトJIS ( コードページ932 ) で表せない文字なので入力できません。";
inline constexpr char SettingNotShiftJis[] =
    "「%1」にシフトJIS ( コードページ932 ) で表せない文字が含まれています。";
inline constexpr char HelpFileMissing[] = "ヘルプファイル %1 が見つかりません。";
inline constexpr char HelpTitle[] = "TavoServer ヘルプ";

}  // namespace DesktopTexts
