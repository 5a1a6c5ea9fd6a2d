#ifndef RULESFRAME_H
#define RULESFRAME_H

#include <QPushButton>

// The rule editor's clickable frame over one text run: a dotted green border
// 2 pixels wide, red while pressed, and nothing else. Painted directly
// rather than through a style sheet, which costs a parse and a style per
// frame on pages of thousands of runs. Takes the focus when clicked on every
// platform, since the editor finds the picked frame by the focus.
class RulesFrame : public QPushButton
{
    Q_OBJECT

public:
    explicit RulesFrame(QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;
};

#endif
