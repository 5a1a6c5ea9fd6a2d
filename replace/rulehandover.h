#ifndef RULEHANDOVER_H
#define RULEHANDOVER_H

// What the replacement window and the rule editor share besides the rule
// record: the settings keys through which the window names the PDF the editor
// shows, and the texts and filter of their picture choosers.
namespace RuleHandover
{
constexpr char settingsFile[] = "setting.ini";
constexpr char fileKey[] = "file/file";
constexpr char pageKey[] = "file/page";
// "file/file" while the window lists no PDF ("file/page" is then "0").
constexpr char emptyInput[] = "Empty input";
// A picture button's text until a picture is chosen.
constexpr char noPicture[] = "Open Picture File";
constexpr char pictureFilter[] = "All Supported Files(*.bmp *.jpg *.png);;BMP File(*.bmp);;"
                                 "JPEF File(*.jpg);;PNG File(*.png);;ALL files(*.*)";
}

#endif
