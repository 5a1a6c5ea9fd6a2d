#include "process.h"

#include "chainrunner.h"
#include "dialogservice.h"
#include "engineoutcome.h"
#include "filelist.h"
#include "pagefiles.h"
#include "rulehandover.h"
#include "rules.h"
#include "tablecells.h"
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
#include <QSettings>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <utility>

using TableCells::buttonText;
using TableCells::lineEditText;

namespace
{
const char *const infoTool = "Pavlin.dll";
const char *const renderer = "Dorcet.dll";
const char *const engine = "Ostrel.dll";

QSettings settingsFile()
{
    return QSettings(QLatin1String(RuleHandover::settingsFile), QSettings::IniFormat);
}

QString splitPagePath(const QString &folder, int page)
{
    return folder + QString::asprintf("/split_pg_%04d.htm", page);
}
}

Process::Process(QWidget *parent)
    : QWidget(parent),
      runner(new ChainRunner(this)),
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

    // Owned by the window, so the modal editor always opens above it.
    ruleEditor = new Rules(this);
    manager = new QNetworkAccessManager(this);

    connect(ui->pushButton_option, &QPushButton::clicked, this, &Process::enteroption);
    connect(ui->openfileButton, &QPushButton::clicked, this, &Process::setopenfile);

    QTableWidget *files = ui->inputfiletableWidget;
    files->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (QTableWidget *t : {ui->tableWidget_textsome, ui->tableWidget_imagesome,
                            ui->tableWidget_textall, ui->tableWidget_imageall}) {
        t->setSelectionBehavior(QAbstractItemView::SelectRows);
        t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
    ui->tableWidget_textsome->show();
    ui->tableWidget_imagesome->hide();
    ui->tabWidget_replaceparent->setCurrentIndex(0);
    ui->tabWidget_replacechild->setCurrentIndex(0);
    // The widths given, or the header's own text width where that is more,
    // so no header is cut off with the platform's font.
    QHeaderView *sizes = ui->tableWidget_imageall->horizontalHeader();
    for (const auto &column : {std::pair<int, int>{0, 100}, {2, 80}, {3, 80}})
        ui->tableWidget_imageall->setColumnWidth(column.first,
                                                 qMax(column.second, sizes->sectionSizeHint(column.first)));
    sizes->setSectionResizeMode(1, QHeaderView::Stretch);

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
    // Nothing of a chain may reach a window being taken apart; the runs
    // (children of the runner) end their programs when the runner goes.
    runner->stop();
    dropPageReply();
    delete ui;
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
    if (runner->running()) {
        const bool counting = runner->kind() == ChainRunner::CountChain;
        const int row = runner->workRow;
        // First the stop, so nothing the steps below may trigger runs on.
        // What a file's scan gathered is reset when the next chain begins.
        runner->stop();
        dropPageReply();
        setListLocked(false, true);
        if (counting) {
            status(QStringLiteral("Page counting stopped: the window was closed."));
        } else {
            if (row >= 0 && row < ui->inputfiletableWidget->rowCount())
                ui->inputfiletableWidget->setItem(row, 3, new QTableWidgetItem(QStringLiteral("Failed")));
            status(QStringLiteral("Conversion stopped: the window was closed."));
        }
    }
    QWidget::closeEvent(event);
}

// ---- helpers ---------------------------------------------------------------

void Process::status(const QString &line)
{
    ui->textEdit_process->append(line);
}

bool Process::still(quint64 generation) const
{
    return runner->isCurrent(generation);
}

QString Process::cellText(int row, int column) const
{
    return TableCells::itemText(ui->inputfiletableWidget, row, column);
}

QString Process::programPath(const char *name) const
{
    return QDir::currentPath() + QLatin1Char('/') + QLatin1String(name);
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

void Process::startRun(const char *program, const QStringList &arguments, const QString &outputFile, int pages,
                       void (Process::*then)(const ToolRun::Result &))
{
    const QString path = programPath(program);
    qDebug().noquote() << ToolRun::commandLine(path, arguments);
    // Refused only for a step called from outside while its chain's program
    // runs: the chain then goes on from that program's end.
    runner->start(path, arguments, outputFile, FileList::timeLimitMs(pages, limitBaseMs, limitPerPageMs),
                  [this, then](const ToolRun::Result &result) { (this->*then)(result); });
}

QString Process::runProblem(const ToolRun::Result &result, const char *program)
{
    const QString name = QLatin1String(program);
    switch (result.outcome) {
    case ToolRun::Ended:
    case ToolRun::Stopped:
        return QString();
    case ToolRun::NotStarted:
        if (runner->firstNotStarted(name))
            status(QStringLiteral("%1 could not be started: it is missing from %2 or cannot run.")
                       .arg(name, QDir::toNativeSeparators(QDir::currentPath())));
        return QStringLiteral("%1 could not be started.").arg(name);
    case ToolRun::TimedOut:
        break;
    }
    const QString why = QStringLiteral("%1 did not finish in time and was ended.").arg(name);
    status(why);
    return why;
}

void Process::dropPageReply()
{
    if (!pageReply)
        return;
    QNetworkReply *reply = pageReply;
    pageReply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

// ---- file list (adding, counting, editing) ---------------------------------

void Process::appendFile(const QString &path)
{
    QTableWidget *files = ui->inputfiletableWidget;
    const int row = files->rowCount();
    files->insertRow(row);
    auto *pathItem = new QTableWidgetItem(path);
    // The column is narrow: the whole path shows on pointing at it.
    pathItem->setToolTip(QDir::toNativeSeparators(path));
    files->setItem(row, 0, pathItem);
    countQueue << path;
    countItems << pathItem;
    const QString size = FileList::sizeText(QFileInfo(path).size());
    if (!size.isEmpty())
        files->setItem(row, 2, new QTableWidgetItem(size));
}

void Process::startCounting()
{
    runner->begin(ChainRunner::CountChain);
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
    if (runner->kind() != ChainRunner::CountChain || runner->hasRun())
        return;
    if (countIndex < countQueue.size()) {
        const QString f = countQueue.at(countIndex);
        const QString info = QDir::currentPath() + QStringLiteral("/fileinfo.txt");
        // A count that fails must not read the previous file's count.
        QFile::remove(info);
        startRun(infoTool, {f, QStringLiteral("-getinfo"), QStringLiteral("-outfile"), info}, info, 0,
                 &Process::countEnded);
        return;
    }
    runner->stop();
    status(QStringLiteral("Finished."));
    setListLocked(false, true);
}

void Process::countEnded(const ToolRun::Result &result)
{
    const quint64 generation = runner->generation();
    // A run that did not start or did not end in time has been named already.
    runProblem(result, infoTool);
    if (!still(generation))
        return;
    countProblem.clear();
    if (result.outcome == ToolRun::Ended)
        countProblem = result.exitCode != 0 || result.crashed
                           ? EngineOutcome::exitReason(result, QLatin1String(infoTool))
                           : QStringLiteral("the file may be damaged or encrypted.");
    // Only a run that succeeded is read: a failed or stopped one may have
    // left a file it did not finish, or one an earlier run wrote.
    if (result.outcome != ToolRun::Ended || result.crashed || result.exitCode != 0)
        QFile::remove(QDir::currentPath() + QStringLiteral("/fileinfo.txt"));
    setpdfpage();
}

void Process::setpdfpage()
{
    if (runner->kind() != ChainRunner::CountChain || runner->hasRun())
        return;
    const quint64 generation = runner->generation();
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
        const QString path = countQueue.at(countIndex);
        status(QStringLiteral("Loading ") + path);
        // Said now, not only when a batch leaves the file out.
        if (still(generation) && FileList::pageCount(n) == 0 && !countProblem.isEmpty())
            status(QStringLiteral("The page count of %1 could not be read: %2")
                       .arg(QDir::toNativeSeparators(path), countProblem));
    }
    countProblem.clear();
    if (!still(generation))
        return;
    ++countIndex;
    getpdfpage();
}

void Process::setremove()
{
    ensurePreviewConnection();
    QTableWidget *files = ui->inputfiletableWidget;
    for (int row : TableCells::selectedRowsDescending(files)) {
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
    for (int row : TableCells::selectedRowsDescending(files)) {
        if (row + 1 >= files->rowCount())
            continue;
        swapRows(files, row, row + 1);
        files->selectRow(row + 1);
    }
}

void Process::setrowup()
{
    QTableWidget *files = ui->inputfiletableWidget;
    QList<int> rows = TableCells::selectedRowsDescending(files);
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
    if (QTableWidget *table = positionTable())
        TableCells::removeSelectedRows(table);
}

void Process::on_pushButton_clicked()
{
    if (QTableWidget *table = positionTable())
        TableCells::removeAllRows(table);
}

RuleFile::WriteResult Process::writePositionRules(QTableWidget *table, const QString &path, bool image)
{
    auto text = [table](int r, int c) { return TableCells::itemText(table, r, c); };
    QString lines;
    for (int r = 0; r < table->rowCount(); ++r) {
        const RuleFile::PositionKey key = RuleFile::cutPositionKey(text(r, 0));
        lines += image ? RuleFile::imageRuleLine(key, text(r, 2), RuleFile::pictureSize(text(r, 3), key.width),
                                                 RuleFile::pictureSize(text(r, 4), key.height))
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
    button->setText(QLatin1String(RuleHandover::noPicture));
    connect(button, &QPushButton::clicked, this, &Process::setopenimagefile);
    table->setCellWidget(row, 2, new QLineEdit);
    table->setCellWidget(row, 3, new QLineEdit);
}

void Process::on_pushButton_text_remove_clicked()
{
    TableCells::removeSelectedRows(contentTable());
}

void Process::on_pushButton__text_clear_clicked()
{
    TableCells::removeAllRows(contentTable());
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
        tr(RuleHandover::pictureFilter));
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
    if (runner->kind() == ChainRunner::CountChain) {
        dialogs->information(this, tr("Replace"),
                             tr("Page counts are still being read; please wait until they are finished."));
        return false;
    }
    if (runner->running()) {
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

void Process::beginChain(int kind)
{
    runner->begin(ChainRunner::Kind(kind));
    pageCounter = 1;
    setListLocked(true, false);
    // A new batch leaves no row with an old result.
    QTableWidget *files = ui->inputfiletableWidget;
    for (int r = 0; r < files->rowCount(); ++r)
        delete files->takeItem(r, 3);
}

void Process::endChain(const QString &line)
{
    runner->stop();
    setListLocked(false, true);
    status(line);
}

void Process::judgePrevious()
{
    const int fileIndex = runner->fileIndex;
    if (fileIndex <= 0 || fileIndex > ui->inputfiletableWidget->rowCount())
        return;
    const int row = fileIndex - 1;
    const QString &outPath = runner->outPath;
    const bool ok = runner->failure.isEmpty() && !outPath.isEmpty() && QFileInfo::exists(outPath)
                    && !cellText(row, 1).isEmpty();
    ui->inputfiletableWidget->setItem(row, 3, new QTableWidgetItem(ok ? QStringLiteral("Succeed")
                                                                       : QStringLiteral("Failed")));
}

bool Process::nextFile(const QString &emptyText)
{
    const quint64 generation = runner->generation();
    judgePrevious();
    if (!hasRows(emptyText)) {
        if (still(generation))
            endChain(QStringLiteral("Conversion stopped: the file list is empty."));
        return false;
    }
    // Both checks show a dialog, which may end the chain, only when they fail.
    if (!hasOutputFolder()) {
        if (still(generation))
            endChain(QStringLiteral("Conversion stopped: the output folder does not exist."));
        return false;
    }
    if (runner->fileIndex >= ui->inputfiletableWidget->rowCount()) {
        endChain(QStringLiteral("Conversion Finished."));
        return false;
    }
    if (runner->fileIndex == 0)
        status(QStringLiteral("Conversion Start:"));
    return still(generation);
}

void Process::failFile(const QString &reason)
{
    runner->failure = reason;
    runner->later([this] { nextStep(); });
}

void Process::nextStep()
{
    if (runner->kind() == ChainRunner::PositionChain)
        positionStep();
    else if (runner->kind() == ChainRunner::ContentChain)
        contentStep();
}

void Process::on_pushButton_textsome_replace_clicked()
{
    if (!mayStartChain() || !hasRows(tr("Please choose files to replace")) || !hasOutputFolder())
        return;
    beginChain(ChainRunner::PositionChain);
    positionStep();
}

void Process::positionStep()
{
    if (!nextFile(tr("Please choose files to replace")))
        return;
    const quint64 generation = runner->generation();
    runner->workRow = runner->fileIndex;
    runner->failure.clear();
    const QString input = cellText(runner->fileIndex, 0);
    status(input);
    if (!still(generation))
        return;
    runner->outPath = FileList::outputPath(ui->outputfolderEdit->text(), input);
    const bool image = positionTable() == ui->tableWidget_imagesome;
    const RuleFile::WriteResult written = image ? setimagesomerule() : settextsomerule();
    const int pages = FileList::pageCount(cellText(runner->fileIndex, 1));
    ++runner->fileIndex;
    if (!written.ok) {
        status(written.message());
        if (still(generation))
            failFile(written.message());
        return;
    }
    startEngine(input, image ? QStringLiteral("-pisome") : QStringLiteral("-tesome"), written.fileName, pages);
}

void Process::startEngine(const QString &input, const QString &option, const QString &rules, int pages)
{
    startRun(engine, {input, option, runner->outPath, rules}, runner->outPath, pages, &Process::engineEnded);
}

void Process::engineEnded(const ToolRun::Result &result)
{
    const quint64 generation = runner->generation();
    const QString failure = engineFailure(result);
    if (!still(generation))
        return;
    runner->failure = failure;
    nextStep();
}

QString Process::engineFailure(const ToolRun::Result &result)
{
    const quint64 generation = runner->generation();
    const QString problem = runProblem(result, engine);
    if (!problem.isEmpty() || result.outcome != ToolRun::Ended)
        return problem;
    const EngineOutcome::Report report = EngineOutcome::judge(
        result, QLatin1String(engine), QDir::toNativeSeparators(cellText(runner->workRow, 0)),
        QDir::toNativeSeparators(runner->outPath), QFileInfo::exists(runner->outPath),
        [this](int line) { return ruleName(line); });
    for (const QString &line : report.lines) {
        status(line);
        if (!still(generation))
            return report.failure;
    }
    // A file without a match is no failure, but its output is its input.
    if (report.failure.isEmpty() && runner->kind() == ChainRunner::ContentChain && contentLineRows.isEmpty())
        status(QStringLiteral("No content rule matched %1; its pages are written as they were.")
                   .arg(QDir::toNativeSeparators(cellText(runner->workRow, 0))));
    return report.failure;
}

QString Process::ruleName(int line) const
{
    // The position table gives one rule-file line per row; a content run
    // remembers the row of every line it wrote.
    if (runner->kind() == ChainRunner::PositionChain && line >= 1)
        return QStringLiteral("rule %1 of the position table").arg(line);
    if (runner->kind() == ChainRunner::ContentChain && line >= 1 && line <= contentLineRows.size())
        return QStringLiteral("rule %1 of the content table").arg(contentLineRows.at(line - 1) + 1);
    return QString();
}

void Process::on_pushButton_textall_replace_clicked()
{
    setallintorule();
}

void Process::setallintorule()
{
    if (!mayStartChain() || !hasRows(tr("Please choose files to replace.")) || !hasOutputFolder())
        return;
    beginChain(ChainRunner::ContentChain);
    contentStep();
}

void Process::contentStep()
{
    if (!nextFile(tr("Please choose files to replace.")))
        return;
    const quint64 generation = runner->generation();
    QFile::remove(RuleFile::contentRulesPath(PageFiles::tempFolder()));
    const QString input = cellText(runner->fileIndex, 0);
    beginContentFile();
    status(input);
    if (!still(generation))
        return;
    // Without a page count the scan could not tell a short render from a
    // whole one.
    if (FileList::pageCount(cellText(runner->fileIndex, 1)) == 0) {
        const QString why = QStringLiteral("%1 has no page count; it is left out.").arg(input);
        ++runner->fileIndex;
        status(why);
        if (still(generation))
            failFile(why);
        return;
    }
    splitPage();
}

void Process::beginContentFile()
{
    runner->workRow = runner->fileIndex;
    runner->failure.clear();
    runner->outPath.clear();
    contentKind = ui->tabWidget_replacechild->currentIndex() == 0 ? ContentMatch::TextRules
                                                                   : ContentMatch::ImageRules;
    contentRules = readContentRules();
    contentLines.clear();
    contentLineRows.clear();
    pageCounter = 1;
}

QStringList Process::splitPage()
{
    if (runner->kind() != ChainRunner::ContentChain || runner->hasRun())
        return QStringList();
    const QString temp = PageFiles::tempFolder();
    // Pages of an earlier render must never pass for this file's pages.
    QDir folder(temp);
    for (const QString &name : folder.entryList({QStringLiteral("split_pg_*")}, QDir::Files))
        folder.remove(name);
    const QString input = cellText(runner->fileIndex, 0);
    const QString target = temp + QStringLiteral("/split.png");
    startRun(renderer, {input, QStringLiteral("-ht"), target}, target,
             FileList::pageCount(cellText(runner->fileIndex, 1)), &Process::afterRender);
    return QStringList();
}

void Process::afterRender(const ToolRun::Result &result)
{
    const quint64 generation = runner->generation();
    const QString problem = runProblem(result, renderer);
    if (!still(generation))
        return;
    if (!problem.isEmpty()) {
        ++runner->fileIndex;
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
    if (runner->kind() != ChainRunner::ContentChain || runner->hasRun() || pageReply)
        return;
    const quint64 generation = runner->generation();
    pageCount = FileList::pageCount(cellText(runner->fileIndex, 1));
    if (pageCounter <= pageCount) {
        const QString path = splitPagePath(PageFiles::tempFolder(), pageCounter);
        pageReply = manager->get(QNetworkRequest(QUrl::fromLocalFile(path)));
        // A reply of a stopped chain finds another generation and is dropped.
        connect(pageReply, &QNetworkReply::finished, this, [this, generation] {
            if (still(generation))
                gethtm();
        });
        ++pageCounter;
        status(QStringLiteral("Analyzing page ") + QString::number(pageCounter - 1));
        return;
    }
    pageCounter = 1;
    const RuleFile::WriteResult written = RuleFile::write(RuleFile::contentRulesPath(PageFiles::tempFolder()),
                                                          contentLines);
    contentLines.clear();
    ranges.clear();
    rangeNames.clear();
    if (!written.ok) {
        ++runner->fileIndex;
        status(written.message());
        if (still(generation))
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
    const quint64 generation = runner->generation();
    const QString why = QStringLiteral("The text of page %1 of %2 could not be read: %3")
                            .arg(pageCounter - 1)
                            .arg(cellText(runner->fileIndex, 0), reply->errorString());
    pageCounter = 1;
    ++runner->fileIndex;
    status(why);
    if (still(generation))
        failFile(why);
}

void Process::getTextPosition(QString sxml)
{
    if (runner->kind() != ChainRunner::ContentChain)
        return;
    const Alltext page = TextLayer::parseText(sxml);
    contentLines += ContentMatch::pageRuleLines(page, pageCounter - 1, contentRules,
                                                ContentMatch::Kind(contentKind), &contentLineRows);
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
    if (runner->kind() != ChainRunner::ContentChain || runner->hasRun())
        return;
    const quint64 generation = runner->generation();
    const QString input = cellText(runner->fileIndex, 0);
    status(input);
    if (!still(generation))
        return;
    runner->outPath = FileList::outputPath(ui->outputfolderEdit->text(), input);
    const QString option = contentKind == ContentMatch::TextRules ? QStringLiteral("-tesome")
                                                                  : QStringLiteral("-pisome");
    const int pages = FileList::pageCount(cellText(runner->fileIndex, 1));
    ++runner->fileIndex;
    startEngine(input, option, RuleFile::contentRulesPath(PageFiles::tempFolder()), pages);
}

void Process::setallimage()
{
    if (contentKind != ContentMatch::ImageRules)
        return;
    if (!mayStartChain() || !hasRows(tr("Please choose files to replace.")) || !hasOutputFolder())
        return;
    beginChain(ChainRunner::ContentChain);
    runner->workRow = runner->fileIndex;
    contentLineRows.clear();
    QString lines;
    const QTableWidget *t = ui->tableWidget_imageall;
    for (int r = 0; r < t->rowCount(); ++r) {
        lines += lineEditText(t, r, 0) + QStringLiteral(":(") + buttonText(t, r, 1) + QStringLiteral("):")
                 + lineEditText(t, r, 2) + QLatin1Char(':') + lineEditText(t, r, 3) + QStringLiteral("\r\n");
        contentLineRows << r;
    }
    const RuleFile::WriteResult written = RuleFile::write(RuleFile::contentRulesPath(PageFiles::tempFolder()),
                                                          lines);
    if (!written.ok) {
        const quint64 generation = runner->generation();
        ++runner->fileIndex;
        status(written.message());
        if (still(generation))
            failFile(written.message());
        return;
    }
    replacealltext();
}

// ---- the split chain -------------------------------------------------------

void Process::splitpdffile()
{
    if (!mayStartChain() || !hasRows(tr("Please choose files to replace.")) || !hasOutputFolder())
        return;
    beginChain(ChainRunner::SplitChain);
    rangeIndex = 0;
    splitStep();
}

void Process::splitStep()
{
    const quint64 generation = runner->generation();
    const int fileIndex = runner->fileIndex;
    const QString input = cellText(fileIndex, 0);
    if (rangeIndex >= ranges.size()) {
        if (ranges.isEmpty() && fileIndex < ui->inputfiletableWidget->rowCount()) {
            // Nothing was asked of the file, so nothing stands for it.
            runner->workRow = fileIndex;
            runner->outPath.clear();
            runner->failure = QStringLiteral("No page ranges were given for %1; nothing was written.").arg(input);
            status(runner->failure);
            if (!still(generation))
                return;
        }
        rangeIndex = 0;
        ranges.clear();
        rangeNames.clear();
        ++runner->fileIndex;
        runner->handOver(ChainRunner::ContentChain);
        contentStep();
        return;
    }
    if (rangeIndex == 0) {
        runner->workRow = fileIndex;
        runner->failure.clear();
        runner->outPath.clear();
        if (FileList::pageCount(cellText(fileIndex, 1)) == 0) {
            runner->failure = QStringLiteral("%1 has no page count; it is left out.").arg(input);
            rangeIndex = ranges.size();
            status(runner->failure);
            if (still(generation))
                runner->later([this] { splitStep(); });
            return;
        }
    }
    // Checked before anything is made, so a mistyped or empty field never
    // makes a folder.
    if (!hasOutputFolder()) {
        if (still(generation)) {
            ui->inputfiletableWidget->setItem(fileIndex, 3, new QTableWidgetItem(QStringLiteral("Failed")));
            endChain(QStringLiteral("Conversion stopped: the output folder does not exist."));
        }
        return;
    }
    const QString output = ui->outputfolderEdit->text();
    const QString base = QFileInfo(input).baseName();
    const QString folder = output + QLatin1Char('/') + base;
    QString name = rangeNames.value(rangeIndex);
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    const QString stem = folder + QLatin1Char('/') + QString::number(rangeIndex + 1) + QLatin1Char(' ') + name
                         + QLatin1Char(' ') + base;
    // Never over an earlier result: the first free of stem.pdf, stem-0.pdf, ...
    QString outPath = stem + QStringLiteral(".pdf");
    for (int n = 0; QFileInfo::exists(outPath); ++n)
        outPath = stem + QLatin1Char('-') + QString::number(n) + QStringLiteral(".pdf");
    runner->outPath = outPath;
    const QString range = ranges.at(rangeIndex);
    ++rangeIndex;
    status(QStringLiteral("Generating ") + outPath);
    if (!still(generation))
        return;
    // Only the one folder named after the input, inside the folder given.
    if (!QFileInfo(folder).isDir() && !QDir(output).mkdir(base)) {
        const QString why = QStringLiteral("The folder %1 could not be made.").arg(QDir::toNativeSeparators(folder));
        runner->failure = why;
        status(why);
        if (still(generation))
            runner->later([this] { splitStep(); });
        return;
    }
    QStringList arguments{input, QStringLiteral("-merge")};
    arguments += range.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    arguments << QStringLiteral("-outfile") << outPath;
    startRun(infoTool, arguments, outPath, FileList::pageCount(cellText(fileIndex, 1)), &Process::splitEnded);
}

void Process::splitEnded(const ToolRun::Result &result)
{
    const quint64 generation = runner->generation();
    QString problem = runProblem(result, infoTool);
    if (!still(generation))
        return;
    // Every range is judged by its own output, not only the file's last.
    if (problem.isEmpty() && (result.crashed || result.exitCode != 0)) {
        problem = QStringLiteral("%1 was not written: %2")
                      .arg(QDir::toNativeSeparators(runner->outPath),
                           EngineOutcome::exitReason(result, QLatin1String(infoTool)));
        status(problem);
    } else if (problem.isEmpty() && !QFileInfo::exists(runner->outPath)) {
        problem = QStringLiteral("%1 was not written.").arg(QDir::toNativeSeparators(runner->outPath));
        status(problem);
    }
    if (!still(generation))
        return;
    if (runner->failure.isEmpty())
        runner->failure = problem;
    splitStep();
}

void Process::convertbegin()
{
    if (!mayStartChain())
        return;
    beginChain(ChainRunner::ContentChain);
    contentStep();
}

// ---- the hand-over to the rule editor --------------------------------------

void Process::enteroption()
{
    QSettings settings(QLatin1String(RuleHandover::settingsFile), QSettings::IniFormat);
    const QString fileKey = QLatin1String(RuleHandover::fileKey), pageKey = QLatin1String(RuleHandover::pageKey);
    if (ui->inputfiletableWidget->rowCount() > 0) {
        settings.setValue(fileKey, cellText(0, 0));
        settings.setValue(pageKey, cellText(0, 1));
    } else {
        settings.setValue(fileKey, QLatin1String(RuleHandover::emptyInput));
        settings.setValue(pageKey, QStringLiteral("0"));
    }
    settings.sync();

    // The position tables are filled from the record, so they hold no more
    // rows than its arrays; the bound keeps it so whatever fills them.
    QTableWidget *table = positionTable();
    auto text = [table](int r, int c) { return TableCells::itemText(table, r, c); };
    const int rows = table ? qMin(table->rowCount(), int(TM::capacity)) : 0;
    if (table == ui->tableWidget_textsome) {
        tmf->inputKind = 1;
        tmf->nTextsome = 0;
        for (int r = 0; r < rows; ++r) {
            Textsome &e = tmf->textsome[r];
            e.position = text(r, 0);
            e.find = text(r, 1);
            e.replace = text(r, 2);
            tmf->nTextsome = r + 1;
        }
    } else if (table == ui->tableWidget_imagesome) {
        tmf->inputKind = 2;
        tmf->nImagesome = 0;
        for (int r = 0; r < rows; ++r) {
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
        TableCells::removeAllRows(shown);
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
