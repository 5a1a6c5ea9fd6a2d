#ifndef PROCESS_H
#define PROCESS_H

#include "aboutdialog.h"
#include "contentmatch.h"
#include "rulefile.h"
#include "subtext.h"
#include "toolrun.h"

#include <QMetaObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QWidget>

class ChainRunner;
class DialogService;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QNetworkAccessManager;
class QNetworkReply;
class QTableWidget;
class QTableWidgetItem;
class QTimer;
class Rules;
class Ui_process;

// The batch replacement window: a list of PDFs with their page counts, rules
// by position and by content, and the chains of external-program runs that
// replace text or pictures in every listed PDF. Each chain step is the slot
// of the previous run's end. The chain's state lives in a ChainRunner: only
// one chain runs at a time (page counting included), while one runs the file
// list cannot be edited, and once a chain has stopped none of its steps runs.
class Process : public QWidget
{
    Q_OBJECT

public:
    explicit Process(QWidget *parent = nullptr);
    ~Process() override;

    // Modal dialogs and message boxes go through this (also the rule
    // editor's); the toolkit's own by default.
    void setDialogService(DialogService *service);

    // Called when a removal has emptied the file list; nothing to reset.
    void setdefaultpreview();

    // How long a program may run: baseMs plus perPageMs for every page of
    // the file (FileList::timeLimitMs).
    void setTimeLimits(int baseMs, int perPageMs);

    // The page ranges of the split chain ("-merge" arguments) and a name for
    // each; the window has no control that fills them.
    void setRanges(const QStringList &rangeList, const QStringList &names);

public slots:
    // The entry points of the chains (convertbegin, splitpdffile,
    // setallintorule, setallimage) refuse, with a message, while a chain
    // runs; the other steps do nothing unless their chain runs.
    void convertbegin();
    void enteroption();
    void setopenfile();
    void setremove();
    void setopenselected();
    void setremoveall();
    void setoutputfile();
    void setregister();
    void setregistershow();
    void setabout1();
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dopreview();
    void setpreview();
    void getpdfpage();
    QStringList splitPage();
    void getAlltheText();
    void gethtm();
    void getTextPosition(QString sxml);
    Subtext getSubtextInfo(QString sRow);
    int getpos(QString sPos, QString sRow);
    QString gettext(QString sRow);
    void splitpdffile();
    void setlink();
    void setrowup();
    void setrowdown();
    void setpdfpage();
    void setopenimagefile();
    void setallintorule();
    void replacealltext();
    void setallimage();
    RuleFile::WriteResult settextsomerule();
    RuleFile::WriteResult setimagesomerule();

protected:
    // Closing the window ends the programs it started and the chain.
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_pushButton_text_add_clicked();
    void on_pushButton_text_remove_clicked();
    void on_pushButton__text_clear_clicked();
    void on_pushButton_textall_replace_clicked();
    void on_pushButton_textsome_replace_clicked();
    void on_pushButton_help_clicked();
    void on_pushButton_removetextsome_clicked();
    void on_pushButton_clicked();

private:
    // Refuses (with a message) while page counts are read or a chain runs.
    bool mayStartChain();
    // The checks every chain step makes; on failure shows the message and
    // returns false.
    bool hasRows(const QString &emptyText);
    bool hasOutputFolder();
    // Starts a batch chain: list locked, old results cleared.
    void beginChain(int kind);
    void endChain(const QString &line);
    // Marks row fileIndex - 1 by the run started for it.
    void judgePrevious();
    // The head of every chain step: judges the run that just ended, then
    // either ends the chain (no rows, no output folder, no rows left) and
    // returns false, or returns true to go on with row fileIndex.
    bool nextFile(const QString &emptyText);
    // Ends the current file as failed with `reason` and goes on with the
    // chain's next file from the event loop.
    void failFile(const QString &reason);
    void nextStep();
    void positionStep();
    void contentStep();
    void beginContentFile();
    void afterRender(const ToolRun::Result &result);
    void startEngine(const QString &input, const QString &option, const QString &rules, int pages);
    void engineEnded(const ToolRun::Result &result);
    // Says in the status area what the engine did not do; returns why the
    // file failed, empty when it did not.
    QString engineFailure(const ToolRun::Result &result);
    // Names the table row of the rule on rule-file line `line`.
    QString ruleName(int line) const;
    void splitStep();
    void splitEnded(const ToolRun::Result &result);
    // Starts `program` (in the working folder) for the running chain; its
    // end goes to `then` while the chain stands.
    void startRun(const char *program, const QStringList &arguments, const QString &outputFile, int pages,
                  void (Process::*then)(const ToolRun::Result &));
    // Why a run failed, for the status area (said there); empty when it ended.
    QString runProblem(const ToolRun::Result &result, const char *program);
    void dropPageReply();

    void appendFile(const QString &path);
    void startCounting();
    void countEnded(const ToolRun::Result &result);
    void setListLocked(bool locked, bool sortable);
    void sortBy(int column);
    void ensurePreviewConnection();
    void dropPreviewConnection();
    void status(const QString &line);
    // Whether the chain of generation `generation` still runs; every step
    // asks after anything that may run the event loop or reach a listener.
    bool still(quint64 generation) const;

    QTableWidget *positionTable() const;   // the one the hand-over left shown
    QTableWidget *contentTable() const;    // by the content tab
    QString cellText(int row, int column) const;
    QString programPath(const char *name) const;
    RuleFile::WriteResult writePositionRules(QTableWidget *table, const QString &path, bool image);
    QVector<ContentMatch::Rule> readContentRules() const;

    ChainRunner *runner;         // fileIndex, outPath, the run and the failure of the chain
    Rules *ruleEditor;
    int pageCount;
    QNetworkAccessManager *manager;
    QNetworkReply *pageReply;
    int pageCounter;
    int rangeIndex;
    QStringList ranges, rangeNames;
    QStringList countQueue;
    QVector<QTableWidgetItem *> countItems;   // each queued file's path cell, wherever sorting moved it
    int countIndex;
    QString countProblem;                     // why the last count run gave no count
    QString contentLines;                     // rule lines of the file being scanned
    QVector<int> contentLineRows;             // the content table row of each of those lines
    QVector<ContentMatch::Rule> contentRules; // rows in force for that file
    int contentKind;
    Ui_process *ui;
    QTimer *previewTimer;
    AboutDialog aboutDialog;

    DialogService *dialogs;
    QMetaObject::Connection previewConnection;
    int limitBaseMs;
    int limitPerPageMs;
};

#endif
