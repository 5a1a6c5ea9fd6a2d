#include "process.h"

#include "dialogservice.h"
#include "filelist.h"
#include "pagefiles.h"
#include "rules.h"
#include "textlayer.h"
#include "tm.h"
#include "ui_process.h"

#include <QAction>
#include <QCloseEvent>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSettings>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace
{
const char *const infoTool = "Pavlin.dll";
const char *const renderer = "Dorcet.dll";
const char *const engine = "Ostrel.dll";
const char *const pictureButtonText = "Open Picture File";

QSettings settingsFile()
{
    return QSettings(QStringLiteral("setting.ini"), QSettings::IniFormat);
}

// The distinct rows of a table's selected cells, highest first.
QList<int> selectedRowsDescending(const QTableWidget *table)
{
    QSet<int> set;
    for (const QModelIndex &index : table->selectionModel()->selectedIndexes())
        set.insert(index.row());
    QList<int> rows = set.values();
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    return rows;
}

QString quoted(const QString &s)
{
    return QLatin1Char('"') + s + QLatin1Char('"');
}

QString lineEditText(const QTableWidget *table, int row, int column)
{
    const auto *edit = qobject_cast<const QLineEdit *>(table->cellWidget(row, column));
    return edit ? edit->text() : QString();
}

QString buttonText(const QTableWidget *table, int row, int column)
{
    const auto *button = qobject_cast<const QPushButton *>(table->cellWidget(row, column));
    return button ? button->text() : QString();
}

QString splitPagePath(const QString &folder, int page)
{
    return folder + QString::asprintf("/split_pg_%04d.htm", page);
}
}

Process::Process(QWidget *parent)
    : QWidget(parent),
      fileIndex(0),
      ruleEditor(nullptr),
      pageCount(1),
      manager(nullptr),
      pageReply(nullptr),
      pageCounter(1),
      rangeIndex(0),
      countIndex(0),
      contentKind(0),
      ui(new Ui_process),
      previewTimer(nullptr),
      aboutDialog(nullptr),
      dialogs(DialogService::standard()),
      chain(NoChain),
      counting(false),
      workRow(-1),
      limitBaseMs(FileList::defaultBaseMs),
      limitPerPageMs(FileList::defaultPerPageMs)
{
    ui->setupUi(this);

    setGeometry(0, 0, width(), height());
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (!screens.isEmpty()) {
        const QRect s = screens.first()->geometry();
        move(s.center() - rect().center());
    }

    ruleEditor = new Rules;
    manager = new QNetworkAccessManager(this);

    connect(ui->pushButton_option, &QPushButton::clicked, this, &Process::enteroption);
    connect(ui->openfileButton, &QPushButton::clicked, this, &Process::setopenfile);

    QTableWidget *files = ui->inputfiletableWidget;
    files->setSelectionBehavior(QAbstractItemView::SelectRows);
    files->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (QTableWidget *t : {ui->tableWidget_textsome, ui->tableWidget_imagesome,
                            ui->tableWidget_textall, ui->tableWidget_imageall}) {
        t->setSelectionBehavior(QAbstractItemView::SelectRows);
        t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
    ui->tableWidget_textsome->show();
    ui->tableWidget_imagesome->hide();
    ui->tabWidget_replaceparent->setCurrentIndex(0);
    ui->tabWidget_replacechild->setCurrentIndex(0);
    ui->tableWidget_imageall->setColumnWidth(0, 100);
    ui->tableWidget_imageall->setColumnWidth(2, 80);
    ui->tableWidget_imageall->setColumnWidth(3, 80);
    ui->tableWidget_imageall->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);

    // The list sorts only on a header click: with the table's own sorting,
    // writing a page count or a result into the sorted column would move rows.
    files->setSortingEnabled(false);
    files->horizontalHeader()->setSectionsClickable(true);
    files->horizontalHeader()->setSortIndicatorShown(true);
    files->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    connect(files->horizontalHeader(), &QHeaderView::sectionClicked, this, &Process::sortBy);

    connect(files, &QTableWidget::itemDoubleClicked, this, &Process::setopenselected);
    connect(ui->removeButton, &QPushButton::clicked, this, &Process::setremove);
    connect(ui->removeallButton, &QPushButton::clicked, this, &Process::setremoveall);
    connect(files, &QTableWidget::itemClicked, this, &Process::setpreview);
    ensurePreviewConnection();
    connect(ui->outputButton, &QPushButton::clicked, this, &Process::setoutputfile);
    connect(ui->registerpushButton, &QPushButton::clicked, this, &Process::setregister);
    connect(ui->pushButton_up, &QPushButton::clicked, this, &Process::setrowup);
    connect(ui->pushButton_down, &QPushButton::clicked, this, &Process::setrowdown);

    ui->outputfolderEdit->setPalette(QPalette(Qt::white));
    setWindowTitle(QStringLiteral("Korvane Quillmere"));
    ui->registerpushButton->setIcon(QIcon(QStringLiteral(":/iconoption/icons/about.png")));
    ui->registerpushButton->setText(QStringLiteral("About"));

    previewTimer = new QTimer(this);
    connect(previewTimer, &QTimer::timeout, this, &Process::dopreview);

    files->horizontalHeader()->setStyleSheet(QStringLiteral(
        "QHeaderView::section {background-color:CornflowerBlue;color: black;padding-left: 0px;border: 0px solid #6c6c6c;}"));
    files->verticalHeader()->setStyleSheet(QStringLiteral(
        "QHeaderView::section {background-color:GhostWhite;color: black;padding-left: 2px;border: 0px solid #6c6c6c;}"));
    files->setContextMenuPolicy(Qt::ActionsContextMenu);
    files->setStyleSheet(QStringLiteral("background-color:rgb(122,122,122"));

    const struct { const char *text; void (Process::*slot)(); } fileActions[] = {
        {"Add File(s)", &Process::setopenfile},
        {"View PDF File", &Process::setopenselected},
        {"Delete Selected Item(s)", &Process::setremove},
        {"Delete All Item(s)", &Process::setremoveall},
    };
    for (const auto &a : fileActions) {
        auto *action = new QAction(tr(a.text), files);
        connect(action, &QAction::triggered, this, a.slot);
        files->addAction(action);
    }
    const struct { QTableWidget *table; void (Process::*slot)(); } ruleActions[] = {
        {ui->tableWidget_textsome, &Process::on_pushButton_removetextsome_clicked},
        {ui->tableWidget_imagesome, &Process::on_pushButton_removetextsome_clicked},
        {ui->tableWidget_textall, &Process::on_pushButton_text_remove_clicked},
        {ui->tableWidget_imageall, &Process::on_pushButton_text_remove_clicked},
    };
    for (const auto &a : ruleActions) {
        a.table->setContextMenuPolicy(Qt::ActionsContextMenu);
        auto *action = new QAction(tr("Delete Selected Rule(s)"), a.table);
        connect(action, &QAction::triggered, this, a.slot);
        a.table->addAction(action);
    }

    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setBrush(QPalette::Window,
                     QBrush(QPixmap(QStringLiteral(":/iconoption/icons/stock-ved.jpg"))
                                .scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    setPalette(palette);
    setAcceptDrops(true);
    ui->textEdit_process->setText(QString());
}

Process::~Process()
{
    delete ui;
    // The runs (children) end their programs when the window goes.
    delete ruleEditor;
}

void Process::setDialogService(DialogService *service)
{
    dialogs = service ? service : DialogService::standard();
    ruleEditor->setDialogService(dialogs);
}

void Process::setdefaultpreview() {}

void Process::setTimeLimits(int baseMs, int perPageMs)
{
    limitBaseMs = baseMs;
    limitPerPageMs = perPageMs;
}

void Process::setRanges(const QStringList &rangeList, const QStringList &names)
{
    ranges = rangeList;
    rangeNames = names;
    // Every range needs a name for its file.
    while (rangeNames.size() < ranges.size())
        rangeNames.append(QString());
}

void Process::keyPressEvent(QKeyEvent *) {}

void Process::dopreview() {}

void Process::setpreview()
{
    previewTimer->start(300);
}

void Process::setregister()
{
    setregistershow();
}

void Process::setregistershow()
{
    dialogs->exec(&aboutDialog);
}

void Process::setabout1()
{
    dialogs->exec(&aboutDialog);
}

void Process::on_pushButton_help_clicked()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(AboutDialog::homePage) + QStringLiteral("/guide")));
}

void Process::closeEvent(QCloseEvent *event)
{
    if (chain != NoChain || counting) {
        stopRun();
        if (pageReply) {
            pageReply->abort();
            pageReply->deleteLater();
            pageReply = nullptr;
        }
        if (chain != NoChain) {
            if (workRow >= 0 && workRow < ui->inputfiletableWidget->rowCount())
                ui->inputfiletableWidget->setItem(workRow, 3, new QTableWidgetItem(QStringLiteral("Failed")));
            endChain(QStringLiteral("Conversion stopped: the window was closed."));
        }
        if (counting) {
            counting = false;
            setListLocked(false, true);
            status(QStringLiteral("Page counting stopped: the window was closed."));
        }
    }
    QWidget::closeEvent(event);
}

// ---- helpers ---------------------------------------------------------------

void Process::status(const QString &line)
{
    ui->textEdit_process->append(line);
}

QString Process::cellText(int row, int column) const
{
    const QTableWidgetItem *item = ui->inputfiletableWidget->item(row, column);
    return item ? item->text() : QString();
}

QString Process::programPath(const QString &name) const
{
    return QDir::currentPath() + QLatin1Char('/') + name;
}

QTableWidget *Process::positionTable() const
{
    // Hidden only by the hand-over, so switching tabs or minimising the
    // window never changes which table is in force.
    if (!ui->tableWidget_textsome->isHidden())
        return ui->tableWidget_textsome;
    if (!ui->tableWidget_imagesome->isHidden())
        return ui->tableWidget_imagesome;
    return nullptr;
}

QTableWidget *Process::contentTable() const
{
    return ui->tabWidget_replacechild->currentIndex() == 0 ? ui->tableWidget_textall
                                                           : ui->tableWidget_imageall;
}

void Process::ensurePreviewConnection()
{
    if (!previewConnection)
        previewConnection = connect(ui->inputfiletableWidget, &QTableWidget::itemSelectionChanged,
                                    this, &Process::setpreview);
}

void Process::dropPreviewConnection()
{
    disconnect(previewConnection);
    previewConnection = QMetaObject::Connection();
}

void Process::setListLocked(bool locked, bool sortable)
{
    for (QWidget *w : {static_cast<QWidget *>(ui->openfileButton), static_cast<QWidget *>(ui->removeButton),
                       static_cast<QWidget *>(ui->removeallButton), static_cast<QWidget *>(ui->pushButton_up),
                       static_cast<QWidget *>(ui->pushButton_down), static_cast<QWidget *>(ui->pushButton_option)})
        w->setEnabled(!locked);
    ui->inputfiletableWidget->setContextMenuPolicy(locked ? Qt::NoContextMenu : Qt::ActionsContextMenu);
    ui->inputfiletableWidget->horizontalHeader()->setSectionsClickable(sortable);
}

void Process::sortBy(int column)
{
    // The header has already turned its indicator for this click.
    QHeaderView *header = ui->inputfiletableWidget->horizontalHeader();
    if (header->sectionsClickable())
        ui->inputfiletableWidget->sortItems(column, header->sortIndicatorOrder());
}

void Process::startRun(const QString &program, const QStringList &arguments, int pages,
                       void (Process::*then)(ToolRun::Outcome))
{
    run = new ToolRun(programPath(program), arguments, FileList::timeLimitMs(pages, limitBaseMs, limitPerPageMs), this);
    connect(run, &ToolRun::ended, this, then);
}

void Process::stopRun()
{
    delete run.data();   // ends the program; no ended() follows
}

QString Process::runProblem(ToolRun::Outcome outcome, const QString &program)
{
    switch (outcome) {
    case ToolRun::Ended:
        return QString();
    case ToolRun::NotStarted:
        if (reported.contains(program))
            return QStringLiteral("%1 could not be started.").arg(program);
        reported << program;
        status(QStringLiteral("%1 could not be started: it is missing from %2 or cannot run.")
                   .arg(program, QDir::toNativeSeparators(QDir::currentPath())));
        return QStringLiteral("%1 could not be started.").arg(program);
    case ToolRun::TimedOut:
        break;
    }
    const QString why = QStringLiteral("%1 did not finish in time and was ended.").arg(program);
    status(why);
    return why;
}

// ---- file list (adding, counting, editing) ---------------------------------

void Process::appendFile(const QString &path)
{
    QTableWidget *files = ui->inputfiletableWidget;
    const int row = files->rowCount();
    files->insertRow(row);
    auto *pathItem = new QTableWidgetItem(path);
    files->setItem(row, 0, pathItem);
    countQueue << path;
    countItems << pathItem;
    const QString size = FileList::sizeText(QFileInfo(path).size());
    if (!size.isEmpty())
        files->setItem(row, 2, new QTableWidgetItem(size));
}

void Process::startCounting()
{
    counting = true;
    reported.clear();
    setListLocked(true, true);
    getpdfpage();
}

void Process::setopenfile()
{
    ensurePreviewConnection();
    countQueue.clear();
    countItems.clear();
    countIndex = 0;
    const QString dir = settingsFile().value(QStringLiteral("dir/input"), QStringLiteral(".")).toString();
    const QStringList chosen = dialogs->getOpenFileNames(this, tr("Add File"), dir,
                                                         tr("PDF File(*.pdf);;ALL files(*.*)"));
    if (chosen.isEmpty())
        return;
    settingsFile().setValue(QStringLiteral("dir/input"), QFileInfo(chosen.first()).absolutePath());
    for (const QString &f : chosen)
        appendFile(f);
    QTableWidget *files = ui->inputfiletableWidget;
    files->selectionModel()->setCurrentIndex(files->model()->index(0, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    startCounting();
}

void Process::dragEnterEvent(QDragEnterEvent *event)
{
    if (!ui->openfileButton->isEnabled())
        return;
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        event->acceptProposedAction();
}

void Process::dropEvent(QDropEvent *event)
{
    if (!ui->openfileButton->isEnabled())
        return;
    countQueue.clear();
    countItems.clear();
    countIndex = 0;
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty())
        return;
    for (const QUrl &url : urls) {
        const QString path = url.toLocalFile();
        if (path.isEmpty())
            break;
        const QFileInfo info(path);
        // A folder is passed over; the rest of the drop is still taken.
        if (info.isDir() || info.suffix().toLower() != QLatin1String("pdf"))
            continue;
        appendFile(path);
    }
    QTableWidget *files = ui->inputfiletableWidget;
    files->selectionModel()->setCurrentIndex(files->model()->index(0, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    startCounting();
}

void Process::getpdfpage()
{
    if (countIndex < countQueue.size()) {
        const QString d = QDir::currentPath();
        const QString f = countQueue.at(countIndex);
        const QString info = d + QStringLiteral("/fileinfo.txt");
        qDebug().noquote() << quoted(d + QLatin1Char('/') + QLatin1String(infoTool)) + QLatin1Char(' ')
                                  + quoted(f) + QStringLiteral(" -getinfo -outfile ") + quoted(info);
        // A count that fails must not read the previous file's count.
        QFile::remove(info);
        startRun(QLatin1String(infoTool), {f, QStringLiteral("-getinfo"), QStringLiteral("-outfile"), info}, 0,
                 &Process::countEnded);
        return;
    }
    counting = false;
    status(QStringLiteral("Finished."));
    setListLocked(false, true);
}

void Process::countEnded(ToolRun::Outcome outcome)
{
    runProblem(outcome, QLatin1String(infoTool));
    setpdfpage();
}

void Process::setpdfpage()
{
    const QString p = QDir::currentPath() + QStringLiteral("/fileinfo.txt");
    qDebug() << "Information file is:" << p;
    QString n;
    if (QFile::exists(p)) {
        QFile file(p);
        if (file.open(QIODevice::ReadOnly)) {
            // The information file is small; a hostile one is cut off.
            n = FileList::pageCountText(file.read(1 << 20));
            pageCount = FileList::pageCount(n);
            qDebug("Page number is:%d.\n", pageCount);
            file.close();
        } else {
            qDebug() << "No information file.";
        }
        QFile::remove(p);
    }
    if (countIndex < countItems.size()) {
        const int row = ui->inputfiletableWidget->row(countItems.at(countIndex));
        if (row >= 0)
            ui->inputfiletableWidget->setItem(row, 1, new QTableWidgetItem(n));
        status(QStringLiteral("Loading ") + countQueue.at(countIndex));
    }
    ++countIndex;
    getpdfpage();
}

void Process::setremove()
{
    ensurePreviewConnection();
    QTableWidget *files = ui->inputfiletableWidget;
    for (int row : selectedRowsDescending(files)) {
        if (files->rowCount() == 1)
            dropPreviewConnection();
        files->removeRow(row);
    }
    if (files->rowCount() == 0)
        setdefaultpreview();
}

void Process::setremoveall()
{
    QTableWidget *files = ui->inputfiletableWidget;
    if (files->rowCount() == 0)
        return;
    for (int row = files->rowCount() - 1; row >= 0; --row) {
        if (row == 0)
            dropPreviewConnection();
        files->removeRow(row);
    }
    setdefaultpreview();
    ensurePreviewConnection();
}

namespace
{
void swapRows(QTableWidget *table, int a, int b)
{
    for (int c = 0; c < table->columnCount(); ++c) {
        QTableWidgetItem *x = table->takeItem(a, c);
        QTableWidgetItem *y = table->takeItem(b, c);
        if (y)
            table->setItem(a, c, y);
        if (x)
            table->setItem(b, c, x);
    }
}
}

void Process::setrowdown()
{
    QTableWidget *files = ui->inputfiletableWidget;
    for (int row : selectedRowsDescending(files)) {
        if (row + 1 >= files->rowCount())
            continue;
        swapRows(files, row, row + 1);
        files->selectRow(row + 1);
    }
}

void Process::setrowup()
{
    QTableWidget *files = ui->inputfiletableWidget;
    QList<int> rows = selectedRowsDescending(files);
    std::reverse(rows.begin(), rows.end());
    for (int row : rows) {
        if (row == 0)
            continue;
        swapRows(files, row, row - 1);
        files->selectRow(row - 1);
    }
}

void Process::setopenselected()
{
    QTableWidget *files = ui->inputfiletableWidget;
    const int row = files->currentRow();
    if (files->rowCount() == 0 || row < 0)
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(cellText(row, 0)));
}

void Process::setoutputfile()
{
    const QString dir = settingsFile().value(QStringLiteral("dir/output"), QStringLiteral(".")).toString();
    const QString folder = dialogs->getExistingDirectory(this, tr("Save"), dir);
    ui->outputfolderEdit->setText(folder);
    settingsFile().setValue(QStringLiteral("dir/output"), folder);
}

// ---- position rules --------------------------------------------------------

void Process::on_pushButton_removetextsome_clicked()
{
    QTableWidget *table = positionTable();
    if (!table)
        return;
    for (int row : selectedRowsDescending(table))
        table->removeRow(row);
}

void Process::on_pushButton_clicked()
{
    QTableWidget *table = positionTable();
    if (!table)
        return;
    for (int row = table->rowCount() - 1; row >= 0; --row)
        table->removeRow(row);
}

RuleFile::WriteResult Process::writePositionRules(QTableWidget *table, const QString &path, bool image)
{
    auto text = [table](int r, int c) {
        const QTableWidgetItem *item = table->item(r, c);
        return item ? item->text() : QString();
    };
    QString lines;
    for (int r = 0; r < table->rowCount(); ++r) {
        const RuleFile::PositionKey key = RuleFile::cutPositionKey(text(r, 0));
        lines += image ? RuleFile::imageRuleLine(key, text(r, 2), text(r, 3), text(r, 4))
                       : RuleFile::textRuleLine(key, text(r, 1), text(r, 2));
    }
    return RuleFile::write(path, lines);
}

RuleFile::WriteResult Process::settextsomerule()
{
    return writePositionRules(ui->tableWidget_textsome, RuleFile::textRulesPath(PageFiles::tempFolder()), false);
}

RuleFile::WriteResult Process::setimagesomerule()
{
    return writePositionRules(ui->tableWidget_imagesome, RuleFile::imageRulesPath(PageFiles::tempFolder()), true);
}

// ---- content rules ---------------------------------------------------------

void Process::on_pushButton_text_add_clicked()
{
    QTableWidget *table = contentTable();
    const int row = table->rowCount();
    table->insertRow(row);
    table->setCellWidget(row, 0, new QLineEdit);
    if (table == ui->tableWidget_textall) {
        table->setCellWidget(row, 1, new QLineEdit);
        return;
    }
    auto *button = new QPushButton;
    table->setCellWidget(row, 1, button);
    button->setText(QLatin1String(pictureButtonText));
    connect(button, &QPushButton::clicked, this, &Process::setopenimagefile);
    table->setCellWidget(row, 2, new QLineEdit);
    table->setCellWidget(row, 3, new QLineEdit);
}

void Process::on_pushButton_text_remove_clicked()
{
    QTableWidget *table = contentTable();
    for (int row : selectedRowsDescending(table))
        table->removeRow(row);
}

void Process::on_pushButton__text_clear_clicked()
{
    QTableWidget *table = contentTable();
    for (int row = table->rowCount() - 1; row >= 0; --row)
        table->removeRow(row);
}

void Process::setopenimagefile()
{
    QTableWidget *table = ui->tableWidget_imageall;
    int row = 0;
    while (row < table->rowCount() && table->cellWidget(row, 1) != sender())
        ++row;
    if (row == table->rowCount())
        return;
    const QString dir = settingsFile().value(QStringLiteral("dir/imagefile"), QStringLiteral(".")).toString();
    const QString picture = dialogs->getOpenFileName(
        this, tr("Add Image"), dir,
        tr("All Supported Files(*.bmp *.jpg *.png);;BMP File(*.bmp);;JPEF File(*.jpg);;PNG File(*.png);;ALL files(*.*)"));
    if (picture.isEmpty())
        return;
    static_cast<QPushButton *>(table->cellWidget(row, 1))->setText(picture);
    settingsFile().setValue(QStringLiteral("dir/imagefile"), QFileInfo(picture).absolutePath());
}

QVector<ContentMatch::Rule> Process::readContentRules() const
{
    QVector<ContentMatch::Rule> rules;
    if (contentKind == ContentMatch::TextRules) {
        const QTableWidget *t = ui->tableWidget_textall;
        for (int r = 0; r < t->rowCount(); ++r)
            rules.append({lineEditText(t, r, 0), lineEditText(t, r, 1), QString(), QString(), QString()});
    } else {
        const QTableWidget *t = ui->tableWidget_imageall;
        for (int r = 0; r < t->rowCount(); ++r)
            rules.append({lineEditText(t, r, 0), QString(), buttonText(t, r, 1), lineEditText(t, r, 2),
                          lineEditText(t, r, 3)});
    }
    return rules;
}

// ---- the chains ------------------------------------------------------------

bool Process::mayStartChain()
{
    if (counting) {
        dialogs->information(this, tr("Replace"),
                             tr("Page counts are still being read; please wait until they are finished."));
        return false;
    }
    if (chain != NoChain) {
        dialogs->information(this, tr("Replace"),
                             tr("A replacement is already running; please wait until it has finished."));
        return false;
    }
    return true;
}

bool Process::hasRows(const QString &emptyText)
{
    if (ui->inputfiletableWidget->rowCount() > 0)
        return true;
    dialogs->warning(this, tr("Empty input"), emptyText);
    return false;
}

bool Process::hasOutputFolder()
{
    const QString folder = ui->outputfolderEdit->text();
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return true;
    dialogs->information(this, QStringLiteral("Invalid order"), QStringLiteral("Please specify an output folder."));
    ui->outputfolderEdit->setText(QString());
    return false;
}

void Process::beginChain(Chain kind)
{
    chain = kind;
    fileIndex = 0;
    reported.clear();
    setListLocked(true, false);
    // A new batch leaves no row with an old result.
    QTableWidget *files = ui->inputfiletableWidget;
    for (int r = 0; r < files->rowCount(); ++r)
        delete files->takeItem(r, 3);
}

void Process::endChain(const QString &line)
{
    fileIndex = 0;
    workRow = -1;
    chain = NoChain;
    setListLocked(false, true);
    status(line);
}

void Process::judgePrevious()
{
    if (fileIndex <= 0 || fileIndex > ui->inputfiletableWidget->rowCount())
        return;
    const int row = fileIndex - 1;
    const bool ok = runFailure.isEmpty() && !outPath.isEmpty() && QFileInfo::exists(outPath)
                    && !cellText(row, 1).isEmpty();
    ui->inputfiletableWidget->setItem(row, 3, new QTableWidgetItem(ok ? QStringLiteral("Succeed")
                                                                       : QStringLiteral("Failed")));
}

bool Process::nextFile(const QString &emptyText)
{
    judgePrevious();
    if (!hasRows(emptyText)) {
        endChain(QStringLiteral("Conversion stopped: the file list is empty."));
        return false;
    }
    if (!hasOutputFolder()) {
        endChain(QStringLiteral("Conversion stopped: the output folder does not exist."));
        return false;
    }
    if (fileIndex >= ui->inputfiletableWidget->rowCount()) {
        endChain(QStringLiteral("Conversion Finished."));
        return false;
    }
    if (fileIndex == 0)
        status(QStringLiteral("Conversion Start:"));
    return true;
}

void Process::failFile(const QString &reason)
{
    runFailure = reason;
    // The step runs from the event loop, so a list of failing files never
    // nests calls.
    if (chain == PositionChain)
        QTimer::singleShot(0, this, &Process::positionStep);
    else
        QTimer::singleShot(0, this, &Process::setallintorule);
}

void Process::on_pushButton_textsome_replace_clicked()
{
    if (!mayStartChain() || !hasRows(tr("Please choose files to replace")) || !hasOutputFolder())
        return;
    beginChain(PositionChain);
    positionStep();
}

void Process::positionStep()
{
    if (!nextFile(tr("Please choose files to replace")))
        return;
    workRow = fileIndex;
    const QString input = cellText(fileIndex, 0);
    status(input);
    runFailure.clear();
    outPath = FileList::outputPath(ui->outputfolderEdit->text(), input);
    QTableWidget *table = positionTable();
    const bool image = table == ui->tableWidget_imagesome;
    const RuleFile::WriteResult written = image ? setimagesomerule() : settextsomerule();
    const int pages = FileList::pageCount(cellText(fileIndex, 1));
    ++fileIndex;
    if (!written.ok) {
        status(written.message());
        failFile(written.message());
        return;
    }
    const QString option = image ? QStringLiteral("-pisome") : QStringLiteral("-tesome");
    qDebug().noquote() << quoted(programPath(QLatin1String(engine))) + QLatin1Char(' ') + quoted(input)
                              + QLatin1Char(' ') + option + QLatin1Char(' ') + quoted(outPath)
                              + QLatin1Char(' ') + quoted(written.fileName);
    startRun(QLatin1String(engine), {input, option, outPath, written.fileName}, pages,
             &Process::engineEnded);
}

void Process::engineEnded(ToolRun::Outcome outcome)
{
    const QString problem = runProblem(outcome, QLatin1String(engine));
    if (!problem.isEmpty()) {
        runFailure = problem;
        // A run ended at its limit may have left half a file.
        if (outcome == ToolRun::TimedOut)
            QFile::remove(outPath);
    }
    if (chain == PositionChain)
        positionStep();
    else
        setallintorule();
}

void Process::on_pushButton_textall_replace_clicked()
{
    if (!mayStartChain() || !hasRows(tr("Please choose files to replace.")) || !hasOutputFolder())
        return;
    beginChain(ContentChain);
    setallintorule();
}

void Process::setallintorule()
{
    if (!nextFile(tr("Please choose files to replace.")))
        return;
    QFile::remove(RuleFile::contentRulesPath(PageFiles::tempFolder()));
    status(cellText(fileIndex, 0));
    beginContentFile();
    // Without a page count the scan could not tell a short render from a
    // whole one.
    if (FileList::pageCount(cellText(fileIndex, 1)) == 0) {
        const QString why = QStringLiteral("%1 has no page count; it is left out.").arg(cellText(fileIndex, 0));
        status(why);
        ++fileIndex;
        failFile(why);
        return;
    }
    splitPage();
}

void Process::beginContentFile()
{
    workRow = fileIndex;
    runFailure.clear();
    outPath.clear();
    contentKind = ui->tabWidget_replacechild->currentIndex() == 0 ? ContentMatch::TextRules
                                                                   : ContentMatch::ImageRules;
    contentRules = readContentRules();
    contentLines.clear();
    pageCounter = 1;
}

QStringList Process::splitPage()
{
    const QString temp = PageFiles::tempFolder();
    // Pages of an earlier render must never pass for this file's pages.
    QDir folder(temp);
    for (const QString &name : folder.entryList({QStringLiteral("split_pg_*")}, QDir::Files))
        folder.remove(name);
    const QString input = cellText(fileIndex, 0);
    const QString target = temp + QStringLiteral("/split.png");
    qDebug().noquote() << quoted(programPath(QLatin1String(renderer))) + QLatin1Char(' ') + quoted(input)
                              + QStringLiteral(" -ht ") + quoted(target);
    startRun(QLatin1String(renderer), {input, QStringLiteral("-ht"), target},
             FileList::pageCount(cellText(fileIndex, 1)), &Process::afterRender);
    return QStringList();
}

void Process::afterRender(ToolRun::Outcome outcome)
{
    const QString problem = runProblem(outcome, QLatin1String(renderer));
    if (!problem.isEmpty()) {
        ++fileIndex;
        failFile(problem);
        return;
    }
    setlink();
}

void Process::setlink()
{
    getAlltheText();
}

void Process::getAlltheText()
{
    pageCount = FileList::pageCount(cellText(fileIndex, 1));
    if (pageCounter <= pageCount) {
        const QString path = splitPagePath(PageFiles::tempFolder(), pageCounter);
        pageReply = manager->get(QNetworkRequest(QUrl::fromLocalFile(path)));
        connect(pageReply, &QNetworkReply::finished, this, &Process::gethtm);
        status(QStringLiteral("Analyzing page ") + QString::number(pageCounter));
        ++pageCounter;
        return;
    }
    pageCounter = 1;
    const RuleFile::WriteResult written = RuleFile::write(RuleFile::contentRulesPath(PageFiles::tempFolder()),
                                                          contentLines);
    contentLines.clear();
    ranges.clear();
    rangeNames.clear();
    if (!written.ok) {
        status(written.message());
        ++fileIndex;
        failFile(written.message());
        return;
    }
    replacealltext();
}

void Process::gethtm()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    // A late reply of an earlier request (a stopped or earlier file) is not
    // this page.
    if (reply != pageReply)
        return;
    pageReply = nullptr;
    if (reply->error() == QNetworkReply::NoError) {
        getTextPosition(TextLayer::decodePage(reply->readAll()));
        return;
    }
    const int page = pageCounter - 1;
    const QString why = QStringLiteral("The text of page %1 of %2 could not be read: %3")
                            .arg(page)
                            .arg(cellText(fileIndex, 0), reply->errorString());
    status(why);
    pageCounter = 1;
    ++fileIndex;
    failFile(why);
}

void Process::getTextPosition(QString sxml)
{
    const Alltext page = TextLayer::parseText(sxml);
    contentLines += ContentMatch::pageRuleLines(page, pageCounter - 1, contentRules,
                                                ContentMatch::Kind(contentKind));
    getAlltheText();
}

Subtext Process::getSubtextInfo(QString sRow)
{
    return TextLayer::getSubtextInfo(sRow);
}

int Process::getpos(QString sPos, QString sRow)
{
    return TextLayer::getpos(sPos, sRow);
}

QString Process::gettext(QString sRow)
{
    return TextLayer::gettext(sRow);
}

void Process::replacealltext()
{
    const QString input = cellText(fileIndex, 0);
    status(input);
    outPath = FileList::outputPath(ui->outputfolderEdit->text(), input);
    const QString option = contentKind == ContentMatch::TextRules ? QStringLiteral("-tesome")
                                                                  : QStringLiteral("-pisome");
    const QString rules = RuleFile::contentRulesPath(PageFiles::tempFolder());
    qDebug().noquote() << quoted(programPath(QLatin1String(engine))) + QLatin1Char(' ') + quoted(input)
                              + QLatin1Char(' ') + option + QLatin1Char(' ') + quoted(outPath)
                              + QLatin1Char(' ') + quoted(rules);
    const int pages = FileList::pageCount(cellText(fileIndex, 1));
    ++fileIndex;
    startRun(QLatin1String(engine), {input, option, outPath, rules}, pages, &Process::engineEnded);
}

void Process::setallimage()
{
    if (contentKind != ContentMatch::ImageRules)
        return;
    QString lines;
    const QTableWidget *t = ui->tableWidget_imageall;
    for (int r = 0; r < t->rowCount(); ++r)
        lines += lineEditText(t, r, 0) + QStringLiteral(":(") + buttonText(t, r, 1) + QStringLiteral("):")
                 + lineEditText(t, r, 2) + QLatin1Char(':') + lineEditText(t, r, 3) + QStringLiteral("\r\n");
    const RuleFile::WriteResult written = RuleFile::write(RuleFile::contentRulesPath(PageFiles::tempFolder()),
                                                          lines);
    if (!written.ok) {
        status(written.message());
        return;
    }
    replacealltext();
}

// ---- the split chain -------------------------------------------------------

void Process::splitpdffile()
{
    if (chain == NoChain) {
        if (!mayStartChain())
            return;
        chain = SplitChain;
        reported.clear();
        setListLocked(true, false);
    }
    if (rangeIndex >= ranges.size()) {
        rangeIndex = 0;
        ranges.clear();
        rangeNames.clear();
        ++fileIndex;
        convertbegin();
        return;
    }
    const QString input = cellText(fileIndex, 0);
    const QString base = QFileInfo(input).baseName();
    const QString folder = ui->outputfolderEdit->text() + QLatin1Char('/') + base;
    QString name = rangeNames.value(rangeIndex);
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    const QString stem = folder + QLatin1Char('/') + QString::number(rangeIndex + 1) + QLatin1Char(' ') + name
                         + QLatin1Char(' ') + base;
    // Never over an earlier result: the first free of stem.pdf, stem-0.pdf, ...
    outPath = stem + QStringLiteral(".pdf");
    for (int n = 0; QFileInfo::exists(outPath); ++n)
        outPath = stem + QLatin1Char('-') + QString::number(n) + QStringLiteral(".pdf");
    status(QStringLiteral("Generating ") + outPath);
    const QString range = ranges.at(rangeIndex);
    if (rangeIndex == 0)
        runFailure.clear();
    workRow = fileIndex;
    ++rangeIndex;
    if (!QDir().mkpath(folder)) {
        runFailure = QStringLiteral("The folder %1 could not be made.").arg(QDir::toNativeSeparators(folder));
        status(runFailure);
        QTimer::singleShot(0, this, &Process::splitpdffile);
        return;
    }
    QStringList arguments{input, QStringLiteral("-merge")};
    arguments += range.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    arguments << QStringLiteral("-outfile") << outPath;
    qDebug().noquote() << quoted(programPath(QLatin1String(infoTool))) + QLatin1Char(' ') + quoted(input)
                              + QStringLiteral(" -merge ") + range + QStringLiteral(" -outfile ") + quoted(outPath);
    startRun(QLatin1String(infoTool), arguments, FileList::pageCount(cellText(fileIndex, 1)),
             &Process::splitEnded);
}

void Process::splitEnded(ToolRun::Outcome outcome)
{
    const QString problem = runProblem(outcome, QLatin1String(infoTool));
    if (!problem.isEmpty()) {
        runFailure = problem;
        if (outcome == ToolRun::TimedOut)
            QFile::remove(outPath);
    }
    splitpdffile();
}

void Process::convertbegin()
{
    if (!nextFile(tr("Please choose files to replace.")))
        return;
    status(cellText(fileIndex, 0));
    // From here the file goes on as a file of the batch by content.
    chain = ContentChain;
    beginContentFile();
    splitPage();
}

// ---- the hand-over to the rule editor --------------------------------------

void Process::enteroption()
{
    QSettings settings(QStringLiteral("setting.ini"), QSettings::IniFormat);
    QTableWidget *files = ui->inputfiletableWidget;
    if (files->rowCount() > 0) {
        settings.setValue(QStringLiteral("file/file"), cellText(0, 0));
        settings.setValue(QStringLiteral("file/page"), cellText(0, 1));
    } else {
        settings.setValue(QStringLiteral("file/file"), QStringLiteral("Empty input"));
        settings.setValue(QStringLiteral("file/page"), QStringLiteral("0"));
    }
    settings.sync();

    // The position tables are filled only from the record, so they never
    // hold more rows than its arrays.
    QTableWidget *table = positionTable();
    auto text = [table](int r, int c) {
        const QTableWidgetItem *item = table->item(r, c);
        return item ? item->text() : QString();
    };
    if (table == ui->tableWidget_textsome) {
        tmf->inputKind = 1;
        tmf->nTextsome = 0;
        for (int r = 0; r < table->rowCount(); ++r) {
            Textsome &e = tmf->textsome[r];
            e.position = text(r, 0);
            e.find = text(r, 1);
            e.replace = text(r, 2);
            tmf->nTextsome = r + 1;
        }
    } else if (table == ui->tableWidget_imagesome) {
        tmf->inputKind = 2;
        tmf->nImagesome = 0;
        for (int r = 0; r < table->rowCount(); ++r) {
            Imagesome &e = tmf->imagesome[r];
            e.position = text(r, 0);
            e.find = text(r, 1);
            e.image = text(r, 2);
            e.width = text(r, 3);
            e.height = text(r, 4);
            tmf->nImagesome = r + 1;
        }
    }

    ruleEditor->setIniImage();
    if (dialogs->exec(ruleEditor) != QDialog::Accepted)
        return;

    auto refill = [](QTableWidget *shown, QTableWidget *hidden, int rows) {
        shown->show();
        hidden->hide();
        for (int r = shown->rowCount() - 1; r >= 0; --r)
            shown->removeRow(r);
        for (int r = 0; r < rows; ++r)
            shown->insertRow(r);
    };
    if (tmf->mode == 1) {
        QTableWidget *t = ui->tableWidget_textsome;
        const int n = qBound(0, tmf->nTexttoText, int(TM::capacity));
        refill(t, ui->tableWidget_imagesome, n);
        for (int i = 0; i < n; ++i) {
            const TexttoText &e = tmf->texttoText[i];
            t->setItem(i, 0, new QTableWidgetItem(e.position));
            t->setItem(i, 1, new QTableWidgetItem(e.find));
            t->setItem(i, 2, new QTableWidgetItem(e.replace));
        }
    } else if (tmf->mode == 2) {
        QTableWidget *t = ui->tableWidget_imagesome;
        const int n = qBound(0, tmf->nTexttoImage, int(TM::capacity));
        refill(t, ui->tableWidget_textsome, n);
        for (int i = 0; i < n; ++i) {
            const TexttoImage &e = tmf->texttoImage[i];
            t->setItem(i, 0, new QTableWidgetItem(e.position));
            t->setItem(i, 1, new QTableWidgetItem(e.find));
            t->setItem(i, 2, new QTableWidgetItem(e.image));
            t->setItem(i, 3, new QTableWidgetItem(QString::number(e.width)));
            t->setItem(i, 4, new QTableWidgetItem(QString::number(e.height)));
        }
    }
}
