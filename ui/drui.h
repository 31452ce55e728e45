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
#include "recorder/clock.h"
#include "recorder/recording_controller.h"

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

    // Page builders. Each deletes the page it replaces and builds for the
    // current page width, so a size switch can run all four again.
    void buildHomePage();
    void buildRecordPage();
    void buildCutPage();
    void buildMergePage();

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Asks the user for an existing directory; a null or empty result means
    // the user cancelled. Replaceable so that no modal dialog opens in tests.
    std::function<QString(QWidget* parent)> chooseDirectory;
    // Shows an information message box with a single OK button and waits for
    // it. Replaceable so that no modal box blocks a test.
    std::function<void(QWidget* parent, const QString& title, const QString& text)> showInformation;

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
    QString iniPath;

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

    // The maximise button of each page's title bar, by page index.
    std::array<QPushButton*, 4> maxButtons{};
    bool isMaximised = false;
    // Merge list rows (name, duration text, size text) kept across a rebuild.
    QVector<QStringList> savedTargetRows;

    QSystemTrayIcon* trayIcon = nullptr;
    QProcess* playerProcess = nullptr;
    QString playerFile;
    // Full path of the recording chosen in cutTable, and the range to keep.
    QString selectedFile;
    qint64 trimStartSeconds = 0;
    qint64 trimEndSeconds = 0;
    // ---------------------------------------------------------------------

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
    void CutVedio(WCHAR*, int&);
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
    // Appends one merge list row (name, duration text, size text).
    void appendTargetRow(const QString& name, const QString& duration, const QString& size);
    void updateMergeButton();

    // Takes a page out of service before its builder replaces it (window_frame.cpp).
    void retirePage(QWidget*& page);
    // Rebuilds all four pages for the current width and puts them in the stack.
    void rebuildPages();
    void showPageAfterRebuild(int pageIndex);

    // Reads the save directory into savePathEdit and shows its free space.
    void loadSaveDirectory();
    void showFreeSpace();

    // The width the pages are built for: the window's width.
    int pageWidth() const { return width(); }

    WindowDragHandler* dragHandler = nullptr;

    // ---- Recording and tray (recording_slots.cpp, tray.cpp) -----------------
  public:
    // Replaces the screen and the clock that recordings use (the constructor
    // sets the X11 screen and the system clock; tests hand in doubles).
    void setRecordingSources(std::unique_ptr<ScreenSource> screen,
                             std::unique_ptr<recorder::Clock> clock);
    // Builds the tray icon, hidden, with its Pause, Stop and Quit entries;
    // an earlier icon goes with its menu and entries.
    void setupTrayIcon();

    // Replaces the sound inputs and the capture (PulseAudio by default; tests
    // hand in doubles). The record page's list follows at its next build.
    void setSoundSources(std::unique_ptr<sound::SoundDeviceList> devices,
                         std::unique_ptr<sound::SoundSource> capture);

    std::unique_ptr<ScreenSource> screenSource;
    std::unique_ptr<recorder::Clock> recordingClock;
    // Declared before the controller, which uses them until it goes.
    std::unique_ptr<sound::SoundDeviceList> soundDevices =
        std::make_unique<sound::PulseSoundDeviceList>();
    std::unique_ptr<sound::SoundSource> soundCapture = std::make_unique<sound::PulseSoundSource>();
    // The inputs as audioCombo lists them: a recording opens the input of the
    // entry the user chose, and the first tick does not ask the server again.
    sound::FixedSoundDeviceList soundInputsShown;
    // The sound source chosen in audioCombo (an input's position in the list,
    // or sound::kAudioDeviceDefault / sound::kAudioDeviceNone).
    std::uint32_t audioDeviceId = sound::kAudioDeviceDefault;
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
    // Says why the screen cannot be recorded; true when it cannot.
    bool refuseUnrecordableScreen();
    // Connects the capture timer and the save directory to the controller.
    void attachRecordingController();
    // The title-bar close ends a running recording first; nothing is lost.
    void finishRecordingOnClose();
    // Lists the sound sources in audioCombo; its first entry becomes the choice.
    void fillAudioCombo();
    bool minimisedForRecording = false;
    // ---- end of recording and tray ------------------------------------------
};
