#ifndef FLOATFORM_H
#define FLOATFORM_H

#include <QWidget>

class Ui_floatform;

// An empty form shown, when shown at all, as a window without frame or title
// bar; nothing constructs it.
class floatform : public QWidget
{
    Q_OBJECT

public:
    explicit floatform(QWidget *parent = nullptr);
    ~floatform() override;

private:
    Ui_floatform *ui;
};

#endif
