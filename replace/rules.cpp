#include "rules.h"
#include "dialogservice.h"
#include "pagefiles.h"
#include "ui_rules.h"

#include <QButtonGroup>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QScrollArea>

Rules::Rules(QWidget *parent)
    : QDialog(parent), zoom(1.0f), manager(new QNetworkAccessManager(this)), reply(nullptr),
      scrollArea(nullptr), pageLabel(nullptr), addButton(nullptr), pageW(1.0f), pageH(1.0f),
      ui(new Ui_Rules), radioGroup(nullptr), dialogs(DialogService::standard())
{
    ui->setupUi(this);
}

Rules::~Rules() { delete ui; }
void Rules::setDialogService(DialogService *service) { dialogs = service; }
QString Rules::renderFolder() { return PageFiles::tempFolder() + QStringLiteral("/editor"); }
void Rules::gethtmlinfo() {}
void Rules::getTextPosition(QString) {}
Subtext Rules::getSubtextInfo(QString) { return Subtext(); }
int Rules::getpos(QString, QString) { return 0; }
QString Rules::gettext(QString) { return QString(); }
void Rules::drawlabels() {}
void Rules::mouseMoveEvent(QMouseEvent *) {}
void Rules::mousePressEvent(QMouseEvent *) {}
void Rules::setZoomout() {}
void Rules::setZoomin() {}
void Rules::textmessagebox() {}
void Rules::getSpecifytext() {}
void Rules::addtorules() {}
void Rules::generatePNGfile(QString, int, QString) {}
void Rules::setIniImage() {}
void Rules::setPageChange() {}
void Rules::setsave() {}
void Rules::setpageup() {}
void Rules::setpagedown() {}
void Rules::setupdownVis() {}
void Rules::removerule() {}
void Rules::removeimagerule() {}
void Rules::setopenimage() {}
void Rules::setradiotext() {}
void Rules::setradioimage() {}
void Rules::setinirule() {}
void Rules::wheelEvent(QWheelEvent *) {}
void Rules::setframeImage() {}
void Rules::deleteFrames() {}
void Rules::clearView() {}
void Rules::layFrame(int) {}
void Rules::zoomTo(float) {}
int Rules::pageCount() const { return 0; }
void Rules::addTextRow(const QString &, const QString &, const QString &) {}
void Rules::addImageRow(const QString &, const QString &, const QString &, const QString &, const QString &, bool) {}
bool Rules::saveText() { return false; }
bool Rules::saveImage() { return false; }
