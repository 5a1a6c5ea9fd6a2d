#include "floatform.h"

#include "ui_floatform.h"

floatform::floatform(QWidget *parent)
    : QWidget(parent), ui(new Ui_floatform)
{
    ui->setupUi(this);
    setWindowFlags(Qt::CustomizeWindowHint | Qt::FramelessWindowHint);
}

floatform::~floatform()
{
    delete ui;
}
