// The recorder's one main window: a frameless, fixed-size window holding the
// home, record, cut and merge pages in one stack. Its slots are the command
// entry points of the whole user interface; each hands its work to an engine.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QVector>
#include <array>
#include <functional>
#include <memory>

#include "platform/pulse_sound_devices.h"
#include "platform/pulse_sound_source.h"
#include "platform/screen_source.h"
#include "platform/sound_input_lister.h"
#include "player/preview_player.h"
#include "recorder/clock.h"
#include "recorder/recording_controller.h"
#include "ui/cut_state.h"
#include "ui/directory_chooser.h"
#include "ui/edit_thread.h"
#include "ui/merge_list.h"
#include "ui/scanui.h"

class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QProcess;
class QPushButton;
class QSlider;
class QStackedLayout;
class QTableWidget;
class QTableWidgetItem;
class QTimer;
class WindowDragHandler;

class DRUI : public QMainWindow {
    Q_OBJECT

  public:
    // Paths and texts handed to the platform are zero-terminated UTF-16.
    using WCHAR = char16_t;

    // Indices of the pages in pageStack.
    enum PageIndex { kHomePage = 0, kRecordPage = 1, kCutPage = 2, kMergePage = 3 };

    static constexpr int kNormalWidth = 1000;
    static constexpr int kNormalHeight = 600;

    explicit DRUI(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~DRUI() override;

    // Builds the four pages into the stack, the capture timer and the
    // directory-field filters. Start-up calls it once, right after construction.
    void setupPages();

    // Where the save directory is kept; set before setupPages() to use
    // another settings file than the one beside the executable.
    void setIniPath(const QString& path) { iniPath = path; }
    // The save directory as read from the settings or chosen since: the real
    // path, byte for byte, where savePathEdit shows it for people to read.
    const QString& saveDirectory() const { return saveDirectory_; }

    // Page builders. Each deletes the page it replaces and builds for the
    // current page width, so a size switch can run all four again.
    void buildHomePage();
    void buildRecordPage();
    void buildCutPage();
    void buildMergePage();

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Asks the user for an existing directory, opening at the start
    // directory given (if any); a null or empty result means the user
    // cancelled. Replaceable so that no modal dialog opens in tests.
    DirectoryChooser chooseDirectory;
    // Shows an information message box with a single OK button and waits for
    // it. Replaceable so that no modal box blocks a test.
    std::function<void(QWidget* parent, const QString& title, const QString& text)> showInformation;
    // Shows a warning message box with a single OK button and waits for it;
    // replaceable like showInformation.
    std::function<void(QWidget* parent, const QString& title, const QString& text)> showWarning;

    // ---------------------------------------------------------------------
    // Widgets and state of the pages. Public so that the engines' glue and
    // the widget tests can reach them; every page rebuild replaces the
    // control pointers of that page.
    QWidget* homePage = nullptr;
    QWidget* recordPage = nullptr;
    QWidget* cutPage = nullptr;
    QWidget* mergePage = nullptr;
    QStackedLayout* pageStack = nullptr;
    QTimer* captureTimer = nullptr;

    // Home page.
    QPushButton* homeRecordButton = nullptr;
    QPushButton* homeMergeButton = nullptr;
    QPushButton* homeTrimButton = nullptr;

    // Record page.
    QComboBox* audioCombo = nullptr;
    QLabel* audioHelpLink = nullptr;
    QLineEdit* savePathEdit = nullptr;
    QPushButton* recordFolderButton = nullptr;
    QLabel* freeSpaceLabel = nullptr;
    QPushButton* recordBackButton = nullptr;
    QPushButton* recordButton = nullptr;

    // Cut page.
    QLineEdit* cutDirEdit = nullptr;
    QPushButton* cutFolderButton = nullptr;
    QTableWidget* cutTable = nullptr;
    QLabel* videoLabel = nullptr;
    QLabel* timeLabel = nullptr;
    QSlider* positionSlider = nullptr;
    QPushButton* playButton = nullptr;
    QPushButton* startTimeButton = nullptr;
    QLabel* startTimeLabel = nullptr;
    QPushButton* endTimeButton = nullptr;
    QLabel* endTimeLabel = nullptr;
    QPushButton* cutButton = nullptr;
    QPushButton* cutBackButton = nullptr;

    // Merge page.
    QLineEdit* mergeDirEdit = nullptr;
    QPushButton* mergeFolderButton = nullptr;
    QTableWidget* sourceTable = nullptr;
    QTableWidget* targetTable = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* upButton = nullptr;
    QPushButton* downButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* mergeBackButton = nullptr;
    QPushButton* mergeButton = nullptr;

    // Shown only where there is no system tray to pause from.
    QPushButton* recordPauseButton = nullptr;

    // The maximise button of each page's title bar, by page index.
    std::array<QPushButton*, 4> maxButtons{};

    QSystemTrayIcon* trayIcon = nullptr;
    // ---------------------------------------------------------------------

    // State that outlives every page rebuild; the page builders draw from it.
    bool isMaximised() const { return maximised_; }
    const MergeList& mergeList() const { return mergeList_; }
    const CutState& cutState() const { return cutState_; }
    // The cut page's preview: its player process, position and length.
    player::PreviewPlayer& previewPlayer() { return preview_; }
    recorder::RecordingController& recording() const { return *recordingController; }

  signals:
    void AddProcessCallBack(int, QString, QString, int);
    void CutProcessCallBack(int, QString, QString, int);

  public slots:
    void btnMinSlot();
    void btnMaxSlot();
    void btnCloseSlot();
    void btnSlot();
    void btnEditSlot();
    void btnMontageSlot();
    void btnAddSlot();
    void btnSlotBack();
    void btnSlotRecord();
    void btnSlotLayout4Dir();
    void btnSlotLayout4Merge();
    void btnSlotLayout3Dir();
    void btnSlotLayout3Cut();
    void btnSlotLayout2Dir();
    void btnUpSlot();
    void btnDownSlot();
    void btnDelSlot();
    void mplayerDataRecieve();
    void current(int);
    void btnOpenUrl(QString);
    void btnHelpSlot();
    void btnSupportSlot();
    void btnAboutSlot();
    void btnLayout3Play();
    void btnSetHead();
    void btnSetTail();
    int CutVedio(WCHAR*, int&);
    void btnSlotMenuStop();
    void btnSlotMenuPause();
    void btnSlotMenuQuit();
    void TargetTableItemClick(QTableWidgetItem*);
    void SourceTableItemClick(QTableWidgetItem*);
    void SourceTableItemDoubleClick(QTableWidgetItem*);
    void CutTableItemClick(QTableWidgetItem*);
    void CutTableItemDoubleClick(QTableWidgetItem*);
    void trayiconActivated(QSystemTrayIcon::ActivationReason);
    void ComBoxIndexChange(int);
    void doTimerRec();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // Title bar, footer and the shared pieces of every page (page_chrome.cpp).
    QHBoxLayout* buildTitleBar(PageIndex page);
    QPushButton* linkButton(int index, int x, QWidget* titleBar);
    QLabel* buildFooter();
    QLabel* greyLine(int height);

    // The three tables, unfilled (file_tables.cpp).
    QTableWidget* buildCutTable();
    QTableWidget* buildSourceTable();
    QTableWidget* buildTargetTable();
    void fillSourceTable(const QString& directory);
    void fillCutTable(const QString& directory);
    // Shows the merge list in targetTable, selecting `selectedRow` (none
    // when outside the list).
    void showMergeList(int selectedRow = -1);
    void updateMergeButton();

    // Takes a page out of service before its builder replaces it (window_frame.cpp).
    void retirePage(QWidget*& page);
    // Rebuilds all four pages for the current width and puts them in the stack.
    void rebuildPages();
    void showPageAfterRebuild(int pageIndex);

    // Reads the save directory, shows it in savePathEdit and its free space.
    void loadSaveDirectory();
    void showSaveDirectory();
    void showFreeSpace();

    // The preview's effects on the cut page (player_slots.cpp).
    void connectPreview();
    void showPlayButton(bool playing);
    void showPreviewAnswer(const player::PlayerAnswer& answer);
    void showPreviewTime(qint64 positionSeconds);
    void showPreviewEnded();
    // Ends the preview and resets its slider: the page is left or rebuilt.
    void endPreview();

    // The width the pages are built for: the window's width.
    int pageWidth() const { return width(); }

    WindowDragHandler* dragHandler = nullptr;
    bool maximised_ = false;
    MergeList mergeList_;
    CutState cutState_;
    player::PreviewPlayer preview_;
    // The directories the cut and source tables list: their rows' names are
    // relative to these, whatever the directory fields show since.
    QString cutTableDirectory_;
    QString sourceTableDirectory_;
    QString saveDirectory_;
    QString iniPath;

    // Recording and tray (recording_slots.cpp, tray.cpp).
  public:
    // Replaces the screen and the clock that recordings use (the constructor
    // sets the X11 screen and the system clock; tests hand in doubles).
    void setRecordingSources(std::unique_ptr<ScreenSource> screen,
                             std::unique_ptr<recorder::Clock> clock);
    // Builds the tray icon, hidden, with its Pause, Stop and Quit entries;
    // an earlier icon goes with its menu and entries.
    void setupTrayIcon();

    // Replaces where the sound inputs are listed from and the capture
    // (PulseAudio by default; tests hand in doubles). The record page's list
    // follows at its next build.
    void setSoundSources(std::unique_ptr<sound::SoundDeviceList> devices,
                         std::unique_ptr<sound::SoundSource> capture);
    // The sound inputs as last listed, asked for in the background.
    sound::SoundInputLister& soundInputs() const { return *soundInputs_; }
    // The inputs as audioCombo lists them: a recording opens the input of the
    // entry the user chose, and the first tick does not ask the server again.
    const std::vector<sound::SoundDevice>& soundInputsShown() const {
        return soundInputsShown_.devices();
    }
    // The sound source chosen in audioCombo (an input's position in
    // soundInputsShown(), or sound::kAudioDeviceDefault / kAudioDeviceNone).
    std::uint32_t audioDeviceId() const { return audioDeviceId_; }

  private:
    std::unique_ptr<ScreenSource> screenSource;
    std::unique_ptr<recorder::Clock> recordingClock;

    // Sound: declared before the controller, which uses them until it goes.
    std::unique_ptr<sound::SoundInputLister> soundInputs_ =
        std::make_unique<sound::SoundInputLister>(std::make_unique<sound::PulseSoundDeviceList>());
    std::unique_ptr<sound::SoundSource> soundCapture_ = std::make_unique<sound::PulseSoundSource>();
    sound::FixedSoundDeviceList soundInputsShown_;
    std::uint32_t audioDeviceId_ = sound::kAudioDeviceDefault;
    // The user chose an entry since the record page was built: a newer list
    // keeps that choice while its input is still listed.
    bool audioChosenByUser_ = false;

    std::unique_ptr<recorder::RecordingController> recordingController;
    // Ticks counted for the tray icon's alternation between two pictures.
    int trayBlinkCount = 0;

  signals:
    // The window was closed; the application ends its event loop on it.
    void windowClosed();

  private:
    enum class TrayState { Recording, Paused, Stopped };
    void applyTrayEntries(TrayState state);
    void setTrayPicture(const char* resource);
    void advanceTrayBlink();
    // Where no system tray exists the window is minimised instead of hidden,
    // so that Stop stays within reach.
    void hideForRecording();
    void showAfterRecording();
    // Shows the recording's state on the record page: Stop while recording,
    // and the window's own Pause/Resume where there is no tray.
    void showRecordingState();
    // Says why the screen cannot be recorded; true when it cannot.
    bool refuseUnrecordableScreen();
    // Connects the capture timer and the save directory to the controller.
    void attachRecordingController();
    // The title-bar close ends a running recording first; nothing is lost.
    void finishRecordingOnClose();
    // Lists the sound sources of the last known inputs in audioCombo, makes
    // the first entry the choice, and asks for the inputs again.
    void fillAudioCombo();
    // A newer list of inputs arrived: audioCombo shows it.
    void showListedSoundInputs();
    void listSoundChoices(bool keepChoice);
    void applyAudioChoice(int index);
    bool minimisedForRecording = false;

    // Cut and merge (editing_slots.cpp).
  public:
    // The three message boxes of each job's progress dialog; replaceable so
    // that no modal box blocks a test.
    ProgressMessages progressMessages;
    // Where the last cut and the last merge were written; each next chooser
    // opens there.
    const QString& cutOutputDir() const { return cutOutputDir_; }
    const QString& mergeOutputDir() const { return mergeOutputDir_; }
    // The full paths of the last merge, in merge order.
    const QStringList& mergeNames() const { return mergeNames_; }
    // The worker of the cuts and merges: one job at a time.
    const CMyThread& editThread() const { return *editThread_; }
    // Runs the merger on the worker thread; `progress` receives the percent
    // of each report before it is sent.
    int mergeAviFiles(WCHAR* outputDir, int& progress);

  private:
    // Shows the progress dialog of a job run by `entry` until the job ends
    // or is given up.
    void runEditJob(SCANUI::JobKind kind, CMyThread::ThreadFunc entry);
    // A running job reads this window: the destructor gives it up and waits
    // for its thread.
    void giveUpEditJob();

    QString cutOutputDir_;
    QString mergeOutputDir_;
    QStringList mergeNames_;
    // Built with the window and without a parent: the destructor gives a
    // running job up and joins it before anything the job reads goes.
    std::unique_ptr<CMyThread> editThread_ = std::make_unique<CMyThread>();
};
