#include "rules.h"

#include "converterstop.h"
#include "dialogservice.h"
#include "pagefiles.h"
#include "pagezoom.h"
#include "rulefile.h"
#include "rulehandover.h"
#include "rulesframe.h"
#include "signalshutdown.h"
#include "tablecells.h"
#include "toolrun.h"
#include "textlayer.h"
#include "tm.h"
#include "ui_rules.h"

#include <QAction>
#include <QButtonGroup>
#include <QCursor>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QTableWidget>
#include <QToolTip>
#include <QUrl>
#include <QWheelEvent>

using TableCells::buttonText;
using TableCells::itemText;
using TableCells::lineEditText;

namespace
{
// The renderer gets this long before the page is given up.
const int renderTimeoutMs = 30000;

// The row whose column-0 item reads `key`; -1 when none does.
int rowOfKey(const QTableWidget *table, const QString &key)
{
    for (int r = 0; r < table->rowCount(); ++r) {
        if (itemText(table, r, 0) == key)
            return r;
    }
    return -1;
}

// Every frame shown on, or deleted from, a visible page makes the toolkit
// walk the frames above it and queue work that it compares against all
// waiting events; with the page hidden while the frames come and go, a page
// of thousands of runs is laid in a fraction of the time.
class HiddenWhileChanged
{
public:
    explicit HiddenWhileChanged(QWidget *widget) : widget(widget), wasShown(!widget->isHidden())
    {
        widget->hide();
    }
    ~HiddenWhileChanged()
    {
        if (wasShown)
            widget->show();
    }
    HiddenWhileChanged(const HiddenWhileChanged &) = delete;
    HiddenWhileChanged &operator=(const HiddenWhileChanged &) = delete;

private:
    QWidget *widget;
    bool wasShown;
};
} // namespace

Rules::Rules(QWidget *parent)
    : QDialog(parent), zoom(1.0f), manager(nullptr), reply(nullptr), scrollArea(nullptr),
      pageLabel(nullptr), addButton(nullptr), pageW(1.0f), pageH(1.0f), ui(new Ui_Rules),
      radioGroup(nullptr), dialogs(DialogService::standard())
{
    ui->setupUi(this);

    setGeometry(0, 0, width(), height());
    if (const QScreen *screen = QGuiApplication::screens().value(0))
        move(screen->geometry().center() - rect().center());
    // Kept a dialog: with the replacement window as parent it must stay a
    // window of its own above it.
    setWindowFlags(Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);

    manager = new QNetworkAccessManager(this);
    pageLabel = new QLabel(ui->frame_back);
    pageLabel->setObjectName(QStringLiteral("pageLabel"));
    pageLabel->setMouseTracking(true);
    addButton = new QPushButton(pageLabel);
    addButton->setObjectName(QStringLiteral("addButton"));
    addButton->hide();
    connect(addButton, &QPushButton::clicked, this, &Rules::addtorules);

    QHBoxLayout *frameLayout = new QHBoxLayout;
    scrollArea = new QScrollArea;
    scrollArea->setWidgetResizable(true);
    scrollArea->setBackgroundRole(QPalette::Dark);
    scrollArea->setWidget(pageLabel);
    pageLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    frameLayout->addWidget(scrollArea);
    ui->frame_back->setLayout(frameLayout);

    ui->pushButton_save->setEnabled(false);

    QTableWidget *text = ui->tableWidget_rule;
    text->setSelectionBehavior(QAbstractItemView::SelectRows);
    text->setEditTriggers(QAbstractItemView::NoEditTriggers);
    text->setContextMenuPolicy(Qt::ActionsContextMenu);
    QAction *removeText = new QAction(tr("Delete Selected Rule(s)"), text);
    connect(removeText, &QAction::triggered, this, &Rules::removerule);
    text->addAction(removeText);
    text->setStyleSheet(QStringLiteral("color:black;"));

    QTableWidget *image = ui->tableWidget_rule_image;
    image->setSelectionBehavior(QAbstractItemView::SelectRows);
    image->setEditTriggers(QAbstractItemView::NoEditTriggers);
    image->setContextMenuPolicy(Qt::ActionsContextMenu);
    image->setStyleSheet(QStringLiteral("color:black;"));
    QAction *removeImage = new QAction(tr("Delete Selected Rule(s)"), image);
    connect(removeImage, &QAction::triggered, this, &Rules::removeimagerule);
    image->addAction(removeImage);
    image->setColumnWidth(1, 60);
    image->setColumnWidth(3, 60);
    image->setColumnWidth(4, 60);

    // The zoom buttons' names are the inverse of what they do: "zoomout"
    // carries the zoom-in icon and enlarges.
    connect(ui->pushButton_zoomout, &QPushButton::clicked, this, &Rules::setZoomout);
    connect(ui->pushButton_zoomin, &QPushButton::clicked, this, &Rules::setZoomin);
    connect(ui->spinBox_pagenumber, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &Rules::setPageChange);
    connect(ui->spinBox_pagenumber, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &Rules::setupdownVis);
    connect(ui->pushButton_save, &QPushButton::clicked, this, &Rules::setsave);
    connect(ui->pushButton_up, &QPushButton::clicked, this, &Rules::setpageup);
    connect(ui->pushButton_down, &QPushButton::clicked, this, &Rules::setpagedown);

    radioGroup = new QButtonGroup(this);
    radioGroup->addButton(ui->radioButton_text);
    radioGroup->addButton(ui->radioButton_image);
    ui->radioButton_text->setChecked(true);
    text->setEnabled(true);
    image->setEnabled(false);
    connect(ui->radioButton_text, &QRadioButton::toggled, this, &Rules::setradiotext);
    connect(ui->radioButton_image, &QRadioButton::toggled, this, &Rules::setradioimage);
}

Rules::~Rules()
{
    delete ui;
}

void Rules::setDialogService(DialogService *service)
{
    dialogs = service;
}

QString Rules::renderFolder()
{
    return PageFiles::tempFolder() + QStringLiteral("/editor");
}

// ---- Opening and the page view ----

void Rules::setIniImage()
{
    setinirule();
    deleteFrames();
    disconnect(ui->spinBox_pagenumber, QOverload<int>::of(&QSpinBox::valueChanged), this,
               &Rules::setPageChange);

    QSettings settings(QString::fromLatin1(RuleHandover::settingsFile), QSettings::IniFormat);
    const QString file = settings.value(QString::fromLatin1(RuleHandover::fileKey),
                                        QString::fromLatin1(RuleHandover::emptyInput)).toString();
    if (file != lastFile) {
        TableCells::removeAllRows(ui->tableWidget_rule);
        TableCells::removeAllRows(ui->tableWidget_rule_image);
    }
    lastFile = file;

    const int pages =
        settings.value(QString::fromLatin1(RuleHandover::pageKey), QStringLiteral("0")).toString().toInt();
    if (pages <= 0) {
        ui->spinBox_pagenumber->setMaximum(0);
        ui->spinBox_pagenumber->setMinimum(0);
        ui->spinBox_pagenumber->setValue(0);
        for (QPushButton *b : {ui->pushButton_down, ui->pushButton_up, ui->pushButton_zoomin,
                               ui->pushButton_zoomout, ui->pushButton_save})
            b->setEnabled(false);
        // No page of an earlier document may stay on show.
        clearView();
        ui->label_pagenumber->clear();
        if (file != QLatin1String(RuleHandover::emptyInput))
            dialogs->warning(this, tr("No pages"),
                             tr("No page count is known for \"%1\", so no page can be shown.")
                                 .arg(QDir::toNativeSeparators(file)));
        return;
    }

    ui->spinBox_pagenumber->setMaximum(pages);
    ui->spinBox_pagenumber->setMinimum(1);
    ui->spinBox_pagenumber->setValue(1);
    ui->label_pagenumber->setText(QStringLiteral("/") + QString::number(pages));

    if (!QFile::exists(file)) {
        clearView();
        dialogs->warning(this, tr("File not found"),
                         tr("The file \"%1\" cannot be found.").arg(QDir::toNativeSeparators(file)));
        return;
    }

    ui->pushButton_zoomin->setEnabled(true);
    ui->pushButton_zoomout->setEnabled(true);
    pdfPath = file;
    pngPath = PageFiles::imagePath(renderFolder(), 1);
    generatePNGfile(pdfPath, 1, renderFolder() + QStringLiteral("/text.png"));
    setframeImage();
    setupdownVis();
    connect(ui->spinBox_pagenumber, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &Rules::setPageChange, Qt::UniqueConnection);
}

void Rules::generatePNGfile(QString pdffile, int page, QString pngfile)
{
    // The renderer names its outputs after the base of pngfile; a one-page
    // run always writes page 0001. Those are removed first, so a renderer
    // that fails leaves no page of another document to be shown.
    const QFileInfo out(pngfile);
    QDir().mkpath(out.absolutePath());
    const QString base = out.absolutePath() + QLatin1Char('/') + out.completeBaseName()
                         + QStringLiteral("_pg_0001");
    QFile::remove(base + QStringLiteral(".png"));
    QFile::remove(base + QStringLiteral(".htm"));

    const QString program = QDir::currentPath() + QStringLiteral("/Dorcet.dll");
    QStringList args;
    args << pdffile << QStringLiteral("-ht") << pngfile;
    if (page != 0)
        args << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l") << QString::number(page);
    qDebug().noquote() << "PNG FILE CMD" << ToolRun::commandLine(program, args);

    // Waited for in short slices, so a signal to end the program is not kept
    // waiting for the renderer; a renderer still running is ended, and what
    // it leaves of its pages removed.
    QProcess renderer;
    renderer.start(program, args);
    QElapsedTimer waited;
    waited.start();
    while (renderer.state() != QProcess::NotRunning && waited.elapsed() < renderTimeoutMs
           && !SignalShutdown::requested())
        renderer.waitForFinished(100);
    ConverterStop::end(&renderer, out.absolutePath(), out.completeBaseName());
}

void Rules::setframeImage()
{
    const QPixmap image(pngPath);
    if (image.isNull()) {
        clearView();
        dialogs->warning(this, tr("No page"),
                         tr("Page %1 of \"%2\" could not be rendered.")
                             .arg(ui->spinBox_pagenumber->value())
                             .arg(QDir::toNativeSeparators(pdfPath)));
        return;
    }
    pagePixmap = image;
    pageW = image.width();
    pageH = image.height();
    // A zoom kept from another page must still give a page image of sane size.
    zoom = PageZoom::fittingZoom(image.size(), zoom);
    showScaledPage();

    dropReply();
    reply = manager->get(QNetworkRequest(QUrl::fromLocalFile(PageFiles::textPath(renderFolder(), 1))));
    connect(reply, &QNetworkReply::finished, this, &Rules::gethtmlinfo);
}

void Rules::showScaledPage()
{
    const QSize size = PageZoom::scaledSize(QSize(int(pageW), int(pageH)), zoom);
    pageLabel->setPixmap(pagePixmap.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pageLabel->adjustSize();
}

void Rules::setPageChange()
{
    pngPath = PageFiles::imagePath(renderFolder(), 1);
    deleteFrames();
    generatePNGfile(pdfPath, ui->spinBox_pagenumber->value(), renderFolder() + QStringLiteral("/text.png"));
    setframeImage();
}

int Rules::pageCount() const
{
    QString text = ui->label_pagenumber->text();
    text.remove(QLatin1Char('/'));
    return text.toInt();
}

void Rules::setupdownVis()
{
    const int count = pageCount();
    const int current = ui->spinBox_pagenumber->value();
    if (count == 0) {
        ui->pushButton_down->setEnabled(false);
        ui->pushButton_up->setEnabled(false);
        return;
    }
    ui->pushButton_down->setEnabled(current != 0 && current != 1);
    ui->pushButton_up->setEnabled(current < count);
}

void Rules::setpageup()
{
    const int count = pageCount();
    const int current = ui->spinBox_pagenumber->value();
    if (count != 0 && current < count)
        ui->spinBox_pagenumber->setValue(current + 1);
}

void Rules::setpagedown()
{
    const int count = pageCount();
    const int current = ui->spinBox_pagenumber->value();
    if (count != 0 && current > 1)
        ui->spinBox_pagenumber->setValue(current - 1);
}

void Rules::setZoomout()
{
    zoomTo(PageZoom::enlarged(zoom));
}

void Rules::setZoomin()
{
    zoomTo(PageZoom::shrunk(zoom));
}

void Rules::zoomTo(float newZoom)
{
    // Bounded like the main window: a step whose page image would leave the
    // allowed size is refused, and so is any step while no page is shown.
    if (!PageZoom::zoomAllowed(pagePixmap.size(), newZoom))
        return;
    zoom = newZoom;
    addButton->hide();
    showScaledPage();
    // The runs are those of the page on show; only their frames move.
    const int frames = qMin(runs.size(), runButtons.size());
    for (int i = 0; i < frames; ++i)
        layFrame(i);
}

void Rules::wheelEvent(QWheelEvent *event)
{
    const QPoint at = ui->frame_back->mapFromGlobal(event->globalPosition().toPoint());
    if (at.y() >= 0)
        return;
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    if (delta > 0)
        setZoomout();
    else
        setZoomin();
}

void Rules::mousePressEvent(QMouseEvent *)
{
    addButton->hide();
}

void Rules::mouseMoveEvent(QMouseEvent *)
{
}

void Rules::getSpecifytext()
{
}

void Rules::deleteFrames()
{
    dropReply();
    const HiddenWhileChanged hidden(pageLabel);
    // In creation order: each is then found first among the label's children.
    qDeleteAll(runButtons);
    runButtons.clear();
    runs.clear();
    addButton->hide();
}

void Rules::dropReply()
{
    if (!reply)
        return;
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
    reply = nullptr;
}

void Rules::clearView()
{
    deleteFrames();
    pagePixmap = QPixmap();
    pageW = 0;
    pageH = 0;
    pageLabel->clear();
    pageLabel->adjustSize();
}

// ---- Text runs and their frames ----

void Rules::gethtmlinfo()
{
    QNetworkReply *finished = qobject_cast<QNetworkReply *>(sender());
    if (!finished)
        return;
    finished->deleteLater();
    // Only the latest request belongs to the page on show.
    if (finished != reply)
        return;
    reply = nullptr;
    if (finished->error() != QNetworkReply::NoError)
        return;
    getTextPosition(TextLayer::decodePage(finished->readAll()));
    drawlabels();
}

void Rules::getTextPosition(QString sxml)
{
    runs = TextLayer::parseText(sxml).subtext;
}

Subtext Rules::getSubtextInfo(QString sRow)
{
    return TextLayer::getSubtextInfo(sRow);
}

int Rules::getpos(QString sPos, QString sRow)
{
    return TextLayer::getpos(sPos, sRow);
}

QString Rules::gettext(QString sRow)
{
    return TextLayer::gettext(sRow);
}

void Rules::drawlabels()
{
    // The page's request was made after deleteFrames(): no frame is left.
    const HiddenWhileChanged hidden(pageLabel);
    runButtons.reserve(runs.size());
    for (int i = 0; i < runs.size(); ++i) {
        QPushButton *frame = new RulesFrame(pageLabel);
        runButtons.append(frame);
        layFrame(i);
        frame->show();
        connect(frame, &QPushButton::clicked, this, &Rules::textmessagebox);
    }
    // Each new frame has a polish request queued; handled while the page is
    // hidden, none of them queues a layout request that the event queue
    // would compare against every waiting event.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::PolishRequest);
    addButton->raise();
}

void Rules::layFrame(int i)
{
    const Subtext &run = runs.at(i);
    runButtons.at(i)->setGeometry(int(float(run.x) * zoom), int(float(run.y) * zoom),
                                  int(float(run.width) * zoom), int(float(run.height) * zoom));
}

void Rules::textmessagebox()
{
    const int i = runButtons.indexOf(qobject_cast<QPushButton *>(focusWidget()));
    if (i < 0)
        return;
    picked = runs.at(i);
    QToolTip::showText(QCursor::pos(), QStringLiteral("Position\n X- %1 Y- %2").arg(picked.x).arg(picked.y));
    const QRect frame = runButtons.at(i)->geometry();
    addButton->setText(tr("Add it to the table"));
    addButton->setGeometry(frame.x() + frame.width(), frame.y(), 121, 23);
    addButton->raise();
    addButton->show();
}

void Rules::addtorules()
{
    const QString key = QStringLiteral("P%1 (%2 %3 %4 %5)")
                            .arg(ui->spinBox_pagenumber->value())
                            .arg(picked.x)
                            .arg(picked.y)
                            .arg(picked.width)
                            .arg(picked.height);
    const int textRow = rowOfKey(ui->tableWidget_rule, key);
    if (textRow >= 0)
        ui->tableWidget_rule->selectRow(textRow);
    else
        addTextRow(key, picked.text, QString());

    const int imageRow = rowOfKey(ui->tableWidget_rule_image, key);
    if (imageRow >= 0) {
        ui->tableWidget_rule_image->selectRow(imageRow);
    } else {
        const RuleFile::PositionKey cut = RuleFile::cutPositionKey(key);
        const int row =
            addImageRow(key, picked.text, QString::fromLatin1(RuleHandover::noPicture), QString(), QString());
        qobject_cast<QLineEdit *>(ui->tableWidget_rule_image->cellWidget(row, 3))->setPlaceholderText(cut.width);
        qobject_cast<QLineEdit *>(ui->tableWidget_rule_image->cellWidget(row, 4))->setPlaceholderText(cut.height);
    }
    addButton->hide();
    ui->pushButton_save->setEnabled(true);
}

// ---- Rule tables ----

void Rules::addTextRow(const QString &key, const QString &find, const QString &replace)
{
    QTableWidget *table = ui->tableWidget_rule;
    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, 0, new QTableWidgetItem(key));
    table->setItem(row, 1, new QTableWidgetItem(find));
    table->setCellWidget(row, 2, new QLineEdit(replace));
}

int Rules::addImageRow(const QString &key, const QString &find, const QString &image,
                       const QString &width, const QString &height)
{
    QTableWidget *table = ui->tableWidget_rule_image;
    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, 0, new QTableWidgetItem(key));
    table->setItem(row, 1, new QTableWidgetItem(find));
    QPushButton *picture = new QPushButton(image);
    connect(picture, &QPushButton::clicked, this, &Rules::setopenimage);
    table->setCellWidget(row, 2, picture);
    table->setCellWidget(row, 3, new QLineEdit(width));
    table->setCellWidget(row, 4, new QLineEdit(height));
    return row;
}

void Rules::setinirule()
{
    if (tmf->inputKind == 1) {
        TableCells::removeAllRows(ui->tableWidget_rule);
        const int n = qBound(0, tmf->nTextsome, int(TM::capacity));
        for (int i = 0; i < n; ++i) {
            const Textsome &t = tmf->textsome[i];
            addTextRow(t.position, t.find, t.replace);
        }
    } else if (tmf->inputKind == 2) {
        TableCells::removeAllRows(ui->tableWidget_rule_image);
        const int n = qBound(0, tmf->nImagesome, int(TM::capacity));
        for (int i = 0; i < n; ++i) {
            const Imagesome &m = tmf->imagesome[i];
            addImageRow(m.position, m.find, m.image, m.width, m.height);
        }
    }
}

void Rules::setopenimage()
{
    QTableWidget *table = ui->tableWidget_rule_image;
    QPushButton *picture = qobject_cast<QPushButton *>(sender());
    int row = -1;
    for (int r = 0; r < table->rowCount() && row < 0; ++r) {
        if (table->cellWidget(r, 2) == picture)
            row = r;
    }
    if (row < 0)
        return;
    QSettings settings(QString::fromLatin1(RuleHandover::settingsFile), QSettings::IniFormat);
    const QString dir = settings.value(QStringLiteral("dir/image"), QStringLiteral(".")).toString();
    const QString path =
        dialogs->getOpenFileName(this, tr("Add Image"), dir, QString::fromLatin1(RuleHandover::pictureFilter));
    if (path.isEmpty())
        return;
    qDebug() << "The choosen button is" << row << " " << 2;
    picture->setText(path);
    settings.setValue(QStringLiteral("dir/image"), QFileInfo(path).absolutePath());
}

void Rules::removerule()
{
    TableCells::removeSelectedRows(ui->tableWidget_rule);
}

void Rules::removeimagerule()
{
    TableCells::removeSelectedRows(ui->tableWidget_rule_image);
}

void Rules::setradiotext()
{
    ui->tableWidget_rule->setEnabled(ui->radioButton_text->isChecked());
}

void Rules::setradioimage()
{
    ui->tableWidget_rule_image->setEnabled(ui->radioButton_image->isChecked());
}

// ---- Saving ----

void Rules::setsave()
{
    qDebug() << "rule text file is:" << RuleFile::textRulesPath(PageFiles::tempFolder()) + QLatin1Char('\n');
    const bool saved = ui->radioButton_text->isChecked() ? saveText() : saveImage();
    if (saved)
        accept();
}

bool Rules::fitsRecord(int rows)
{
    if (rows <= TM::capacity)
        return true;
    dialogs->warning(this, tr("Too many rules"),
                     tr("At most %1 rules can be saved at once; this table holds %2. "
                        "Remove some rules and save again.")
                         .arg(int(TM::capacity))
                         .arg(rows));
    return false;
}

bool Rules::writeRules(const QString &path, const QString &lines)
{
    const RuleFile::WriteResult written = RuleFile::write(path, lines);
    if (!written.ok)
        dialogs->warning(this, tr("Rules not saved"), written.message());
    return written.ok;
}

bool Rules::saveText()
{
    const QTableWidget *table = ui->tableWidget_rule;
    const int rows = table->rowCount();
    if (!fitsRecord(rows))
        return false;
    QString lines;
    for (int r = 0; r < rows; ++r)
        lines += RuleFile::textRuleLine(RuleFile::cutPositionKey(itemText(table, r, 0)),
                                        itemText(table, r, 1), lineEditText(table, r, 2));
    if (!writeRules(RuleFile::textRulesPath(PageFiles::tempFolder()), lines))
        return false;

    tmf->mode = 1;
    for (int r = 0; r < rows; ++r) {
        TexttoText &t = tmf->texttoText[r];
        t.position = itemText(table, r, 0);
        t.find = itemText(table, r, 1);
        t.replace = lineEditText(table, r, 2);
    }
    tmf->nTexttoText = rows;
    return true;
}

bool Rules::saveImage()
{
    const QTableWidget *table = ui->tableWidget_rule_image;
    const int rows = table->rowCount();
    if (!fitsRecord(rows))
        return false;
    // One list, checked whole before anything is written, gives both the
    // file and the record: a stopped save leaves the previous rule file, and
    // the two never disagree about a size.
    struct ImageRule
    {
        RuleFile::PositionKey key;
        TexttoImage entry;
    };
    QVector<ImageRule> rules;
    rules.reserve(rows);
    for (int r = 0; r < rows; ++r) {
        const QString image = buttonText(table, r, 2);
        if (image == QLatin1String(RuleHandover::noPicture)) {
            dialogs->warning(this, tr("No image"), tr("Please specify some image"));
            return false;
        }
        const QString position = itemText(table, r, 0);
        const RuleFile::PositionKey key = RuleFile::cutPositionKey(position);
        rules.append({key, {position, itemText(table, r, 1), image,
                            RuleFile::pictureSize(lineEditText(table, r, 3), key.width).toInt(),
                            RuleFile::pictureSize(lineEditText(table, r, 4), key.height).toInt()}});
    }
    QString lines;
    for (const ImageRule &rule : rules)
        lines += RuleFile::imageRuleLine(rule.key, rule.entry.image, QString::number(rule.entry.width),
                                         QString::number(rule.entry.height));
    if (!writeRules(RuleFile::imageRulesPath(PageFiles::tempFolder()), lines))
        return false;

    tmf->mode = 2;
    for (int r = 0; r < rows; ++r)
        tmf->texttoImage[r] = rules.at(r).entry;
    tmf->nTexttoImage = rows;
    return true;
}
