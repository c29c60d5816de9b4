#include "ui/CFolvaneDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QEventLoop>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <system_error>

#include "convert/DocumentHarvest.h"
#include "convert/PdfOptions.h"
#include "convert/PdfThread.h"
#include "lang/LanguageProvider.h"
#include "platform/program_folder.h"
#include "platform/shell.h"
#include "skin/BmpButton.h"
#include "skin/BmpStatic.h"
#include "skin/ColorStatic.h"
#include "skin/SkinApply.h"
#include "skin/xml/SkinLayout.h"
#include "ui/AddFile.h"
#include "ui/CMyCustomizeList.h"
#include "ui/DialogTemplate.h"
#include "ui/HelpMenu.h"
#include "ui/JobCell.h"
#include "ui/LanguageCommand.h"
#include "ui/MenuTable.h"
#include "ui/ProductInfo.h"
#include "ui/SettingDialogRunner.h"
#include "ui/StartupSettings.h"
#include "ui/TempFolderCleanup.h"

namespace {

constexpr char kMainDlgUI[] = "MainDlgUI";
constexpr char kListUI[] = "CListCtrlUI";
constexpr char kMenu[] = "Menu";
constexpr char kMsgBox[] = "MsgBox";

// A posted job message (WM_JOB_PREPARED, WM_JOB_FINISHED) as an event of the same number.
class CJobEvent : public QEvent {
  public:
    CJobEvent(UINT message, WPARAM wParam, LPARAM lParam)
        : QEvent(static_cast<QEvent::Type>(message)),
          m_message(message),
          m_wParam(wParam),
          m_lParam(lParam) {}
    UINT m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
};

struct ButtonTemplate {
    int id;
    const char* text;
    int left, top, width, height;  // dialog units, before the skin places the button
};
const ButtonTemplate kButtons[] = {
    {IDC_CLOSE, "Close", 412, 0, 18, 14},      {IDC_MIN, "Min", 393, 0, 16, 14},
    {IDC_ADD, "Add", 11, 14, 78, 25},          {IDC_REMOVE, "Remove", 100, 24, 59, 15},
    {IDC_LANGUAGE, "setting", 348, 26, 29, 9}, {IDC_HELP, "help", 409, 26, 21, 9},
    {IDC_OPEN, "Open", 297, 251, 33, 15},      {IDC_CONVERT, "Convert", 351, 246, 74, 25},
};

// The captions of the skinned buttons: language key, font size, colour, text insets, alignment.
struct ButtonCaption {
    int id;
    const char* key;
    int size;
    COLORREF color;
    int insetX, insetY;
    int align;
};
constexpr COLORREF Rgb(int r, int g, int b) {
    return static_cast<COLORREF>(r | (g << 8) | (b << 16));
}
const ButtonCaption kCaptions[] = {
    {IDC_ADD, "ADD", 12, Rgb(250, 250, 250), 25, 5, DT_CENTER},
    {IDC_CONVERT, "CONVERT", 18, Rgb(255, 255, 255), 25, 0, DT_LEFT},
    {IDC_REMOVE, "REMOVE", 12, Rgb(60, 150, 220), 5, 2, DT_CENTER},
    {IDC_OPEN, "OPEN", 12, Rgb(60, 150, 220), 0, 0, DT_CENTER},
};

struct ColumnTemplate {
    const char* key;
    int width;
};
const ColumnTemplate kColumns[] = {
    {"CHECK", 60}, {"FN", 190}, {"SIZE", 110}, {"SP", 80}, {"Status", 190}};

}  // namespace

CFolvaneDlg::CFolvaneDlg(const ConversionLegs* legs, QWidget* parent)
    : QDialog(parent),
      m_uiThread(std::this_thread::get_id()),
      m_nDpiX(QGuiApplication::primaryScreen()
                  ? static_cast<int>(QGuiApplication::primaryScreen()->logicalDotsPerInchX())
                  : 96),
      m_nDpiY(QGuiApplication::primaryScreen()
                  ? static_cast<int>(QGuiApplication::primaryScreen()->logicalDotsPerInchY())
                  : 96) {
    ConversionLegs used;
    if (legs != nullptr) {
        used = *legs;
    } else {
        m_realPrinter = std::make_unique<CSpoolerPrinterControl>();
        m_realHarvester = std::make_unique<CDocumentHarvester>();
        m_realHandOff = std::make_unique<CPipeHandOff>(*this);
        m_realPdfBuilder = std::make_unique<CPdfBuilder>();
        used = {m_realPrinter.get(), m_realHarvester.get(), m_realHandOff.get(),
                m_realPdfBuilder.get()};
    }
    m_printerKeeper = std::make_unique<CDefaultPrinterKeeper>(*used.printer);
    m_controller = std::make_unique<CConversionController>(*this, used);

    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint);
    setFont(DialogFont());
    BuildControls();
    OnInitDialog();
}

CFolvaneDlg::~CFolvaneDlg() {
    qApp->removeEventFilter(this);
    // The controller's threads may still call into the window: they end before it goes.
    m_controller.reset();
}

void CFolvaneDlg::BuildControls() {
    for (const ButtonTemplate& button : kButtons) {
        auto* control = new CBmpButton(this);
        control->SetText(button.text);
        SetDlgCtrlID(control, button.id);
        control->setGeometry(
            DialogUnitsToPixels(button.left, button.top, button.width, button.height));
    }
    auto* titleIcon = new CBmpStatic(this);
    SetDlgCtrlID(titleIcon, IDC_TITLE_ICON);
    titleIcon->setGeometry(DialogUnitsToPixels(7, 4, 86, 8));
    auto* title = new CColorStatic(this);
    SetDlgCtrlID(title, IDC_TITLE);
    title->setGeometry(DialogUnitsToPixels(101, 2, 103, 13));

    m_list = new CMyCustomizeList(*this, this);
    SetDlgCtrlID(m_list, IDC_LIST);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ShowListMenu(at); });

    m_outputLabel = new QLabel(QStringLiteral("Output:"), this);
    SetDlgCtrlID(m_outputLabel, IDC_OUTPUT_LABEL);
    m_outputLabel->setAutoFillBackground(true);
    QPalette labelColours = m_outputLabel->palette();
    labelColours.setColor(QPalette::Window, QColor(207, 207, 207));
    m_outputLabel->setPalette(labelColours);

    m_output = new QLineEdit(this);
    SetDlgCtrlID(m_output, IDC_OUTPUT);
    // The box's own button picks a folder; the pick lands in the box like typing does.
    QAction* browse = m_output->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                          QLineEdit::TrailingPosition);
    connect(browse, &QAction::triggered, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, QString(), m_output->text(),
                                                                 QFileDialog::DontUseNativeDialog);
        if (!folder.isEmpty())
            m_output->setText(folder);
    });
    // A typed path is only taken over; the folder is made when the path is used.
    connect(m_output, &QLineEdit::textChanged, this, [this] {
        if (!m_controller->m_bRunning)
            UpdateData(true);
    });
    qApp->installEventFilter(this);
}

void CFolvaneDlg::OnInitDialog() {
    setWindowTitle(QString::fromLatin1(kProductName));

    m_printerKeeper->SaveOriginal();
    m_strDestinationDir = StartupDestinationDir();
    m_strLanguage = StartupLanguageName();
    SelectLanguage(m_strLanguage.c_str());

    const std::string programFolder = GetProgramFolder();
    m_hIcon = QIcon(ProgramIcon(programFolder));
    setWindowIcon(m_hIcon);

    const std::string skinFolder = programFolder + "skins/Default/";
    ApplySkinLayout(skinFolder, this, kMainDlgSetting);
    LoadSkinBackground(skinFolder, m_background, kMainDlgSetting);

    ApplyCaptions();
    auto* title = Control<CColorStatic>(IDC_TITLE);
    title->SetText(kProductName);
    title->SetFont(12, "Verdana", 1, 0, 0);
    title->m_crText = Rgb(250, 250, 250);
    title->move(40, 3);

    move(0, 0);
    setFixedSize(650, 450);
    m_list->setGeometry(8, 89, 634, 294);
    m_output->setGeometry(54, 408, 390, 23);
    m_outputLabel->setGeometry(14, 411, 36, 16);

    // StartupDestinationDir gives the folder with its final separator.
    m_output->setText(QString::fromStdString(m_strDestinationDir));
    m_controller->m_strOutputFolder = m_strDestinationDir;
    MakeOutputFolder();

    m_imageList.AddKeyed(QImage(QString::fromStdString(skinFolder + "SettingsIcon.bmp")));
    m_list->SetImageList(&m_imageList);
    m_list->SetToolTipColumn(1);
    m_list->m_nSettingsColumn = kSettingsColumn;
    m_list->m_nProgressColumn = kProgressColumn;
    m_list->setShowGrid(true);
    InsertColumns();
    update();
}

void CFolvaneDlg::ApplyCaptions() {
    for (const ButtonCaption& caption : kCaptions) {
        auto* button = Control<CBmpButton>(caption.id);
        button->SetText(LangText(kMainDlgUI, caption.key));
        button->SetFont(caption.size, "Arial", 1, 0, 0);
        button->m_crNormal = button->m_crHover = button->m_crPressed = button->m_crDisabled =
            caption.color;
        button->m_nTextOffsetX = caption.insetX;
        button->m_nTextOffsetY = caption.insetY;
        button->m_nTextAlign = caption.align;
    }
    for (int id : {IDC_LANGUAGE, IDC_HELP, IDC_MIN, IDC_CLOSE}) {
        Control<CBmpButton>(id)->SetText("");
    }
    m_outputLabel->setText(QString::fromStdString(LangText(kMainDlgUI, "OUTPUT")));
    update();
}

void CFolvaneDlg::InsertColumns() {
    for (int column = 0; column < static_cast<int>(std::size(kColumns)); ++column) {
        m_list->InsertColumn(column, LangText(kListUI, kColumns[column].key), DT_CENTER,
                             kColumns[column].width);
    }
}

void CFolvaneDlg::RefreshTexts() {
    for (int column = m_list->GetColumnCount() - 1; column >= 0; --column) {
        m_list->DeleteColumn(column);
    }
    InsertColumns();
    m_list->SetItemCount(0);
    ApplyCaptions();
    UpdateData(true);
    RefreshList();
}

void CFolvaneDlg::RefreshList() {
    m_list->setUpdatesEnabled(false);
    m_list->SetItemCount(static_cast<int>(m_controller->m_jobs.size()));
    m_list->setUpdatesEnabled(true);
    m_list->viewport()->update();
}

// --- Commands ---

void CFolvaneDlg::OnCommand(int nId, int nCode, QWidget*) {
    if (nCode != BN_CLICKED)
        return;
    switch (nId) {
        case IDC_MIN:
            showMinimized();
            break;
        case IDC_CLOSE:
            OnClose();
            break;
        case IDC_ADD:
            OnAdd();
            break;
        case IDC_REMOVE:
            OnRemove();
            break;
        case IDC_LANGUAGE:
            OnLanguage();
            break;
        case IDC_HELP:
            OnHelp();
            break;
        case IDC_OPEN:
            OnOpenOutputFolder();
            break;
        case IDC_CONVERT:
            OnConvert();
            break;
        default:
            break;
    }
}

std::vector<std::string> CFolvaneDlg::AskForDocuments() {
    // Qt's own dialog: a full path typed into its name box is taken as it stands.
    QFileDialog dialog(nullptr);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(QStringLiteral("MS Word Files (*.doc *.docx)"));
    dialog.setDefaultSuffix(QStringLiteral("doc"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    std::vector<std::string> paths;
    if (dialog.exec() == QDialog::Accepted) {
        for (const QString& file : dialog.selectedFiles())
            paths.push_back(file.toStdString());
    }
    return paths;
}

void CFolvaneDlg::OnAdd() {
    if (m_controller->m_bRunning)
        return;
    for (const std::string& path : AskForDocuments())
        AddDocument(path);
    UpdateData(true);
    RefreshList();
}

void CFolvaneDlg::AddDocument(const std::string& path) {
    AddFile(m_controller->m_jobs, path, m_bWarnDuplicate, [this](const char* key, bool) {
        RunMessageBox(LangText(kMsgBox, key), LangText(kMsgBox, "MsgBoxTitle"), MB_OK);
    });
}

void CFolvaneDlg::OnFileDropped(unsigned count, const std::string& path) {
    if (m_controller->m_bRunning)
        return;
    AddDocument(path);
    if (static_cast<unsigned>(++m_nDroppedCount) >= count) {
        m_nDroppedCount = 0;
        m_bWarnDuplicate = true;
        UpdateData(true);
        RefreshList();
    }
}

void CFolvaneDlg::OnRemove() {
    if (m_controller->m_bRunning)
        return;
    std::vector<int> rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    auto& jobs = m_controller->m_jobs;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        if (*row >= 0 && static_cast<std::size_t>(*row) < jobs.size())
            jobs.erase(jobs.begin() + *row);
    }
    if (!rows.empty()) {
        m_list->OnClearHitRects(1);
        RefreshList();
    }
}

void CFolvaneDlg::ClearJobs() {
    auto& jobs = m_controller->m_jobs;
    if (jobs.empty() || m_controller->m_bRunning)
        return;
    jobs.clear();
    m_list->OnClearHitRects(1);
    RefreshList();
}

void CFolvaneDlg::OpenSelectedDocuments() {
    const auto& jobs = m_controller->m_jobs;
    for (std::size_t row = 0; row < jobs.size(); ++row) {
        if (m_list->selectionModel()->isRowSelected(static_cast<int>(row), QModelIndex())) {
            platform::ShellOpen(jobs[row]->m_strFilePath);
        }
    }
}

void CFolvaneDlg::ShowListMenu(const QPoint& at) {
    if (m_controller->m_bRunning)
        return;
    const bool onRow = m_list->indexAt(at).isValid();
    QMenu menu(this);
    static constexpr MenuItem kItems[] = {{ID_MENU_ADD, "add"},       {kMenuSeparator, nullptr},
                                          {ID_MENU_REMOVE, "remove"}, {ID_MENU_CLEAR, "clear"},
                                          {kMenuSeparator, nullptr},  {ID_MENU_OPEN, "open"}};
    AddMenuItems(menu, kMenu, kItems);
    // Removing and opening need a row under the pointer.
    for (QAction* action : menu.actions()) {
        const int id = action->data().toInt();
        if (id == ID_MENU_REMOVE || id == ID_MENU_OPEN)
            action->setEnabled(onRow);
    }
    const QAction* chosen = menu.exec(m_list->viewport()->mapToGlobal(at));
    switch (chosen ? chosen->data().toInt() : 0) {
        case ID_MENU_ADD:
            OnAdd();
            break;
        case ID_MENU_REMOVE:
            OnRemove();
            break;
        case ID_MENU_CLEAR:
            ClearJobs();
            break;
        case ID_MENU_OPEN:
            OpenSelectedDocuments();
            break;
        default:
            break;
    }
}

void CFolvaneDlg::MakeOutputFolder() {
    if (m_strDestinationDir.empty())
        return;
    // With its parents: a fresh account may have no documents folder yet. A folder that is
    // there is left as it is; a failure is left for Convert to report.
    std::error_code ignored;
    std::filesystem::create_directories(m_strDestinationDir, ignored);
}

void CFolvaneDlg::OnOpenOutputFolder() {
    UpdateData(true);
    MakeOutputFolder();
    platform::ShellOpen(m_strDestinationDir);
}

void CFolvaneDlg::OnConvert() {
    UpdateData(true);
    MakeOutputFolder();
    m_controller->OnConvert();
}

void CFolvaneDlg::OnLanguage() {
    UpdateData(true);
    if (ChooseLanguage(this, m_strLanguage))
        RefreshTexts();
    UpdateData(true);
}

void CFolvaneDlg::OnHelp() {
    RunHelpMenu(this, QCursor::pos());
}

void CFolvaneDlg::OnClose() {
    UpdateData(true);
    MakeOutputFolder();
    WriteStartupSettings(m_strDestinationDir, m_strLanguage);
    if (!m_controller->m_bRunning) {
        EndDialog();
        return;
    }
    // The batch ends after the document it is converting; the program then ends with it.
    if (RunMessageBox(LangText(kMsgBox, "EXIT"), LangText(kMsgBox, "MsgBoxTitle"), MB_YESNO) ==
        IDYES) {
        m_controller->m_bExitRequested = 1;
    }
}

void CFolvaneDlg::EndDialog() {
    if (m_bEnded)
        return;
    m_bEnded = true;
    // Only now that the program really ends: a batch that goes on needs both.
    m_printerKeeper->RestoreOriginal();
    DeleteHandOffFolderWhenNoBatchRuns();
    done(QDialog::Rejected);
}

// --- The list ---

void CFolvaneDlg::OnGetCellInfo(CMyCustomizeList&, CellInfo& info) {
    const auto& jobs = m_controller->m_jobs;
    if (info.row < 0 || static_cast<std::size_t>(info.row) >= jobs.size())
        return;
    FillJobCellInfo(*jobs[static_cast<std::size_t>(info.row)], info);
}

void CFolvaneDlg::OnCellClick(CMyCustomizeList&, const ClickInfo& click) {
    auto& jobs = m_controller->m_jobs;
    if (click.row < 0 || static_cast<std::size_t>(click.row) >= jobs.size())
        return;
    CWordRecord& job = *jobs[static_cast<std::size_t>(click.row)];
    // The job in progress is shared with the worker threads until it ends.
    const bool inProgress =
        m_controller->m_bRunning && static_cast<unsigned>(click.row) == m_controller->m_nCurrentJob;
    if (click.checkHit) {
        if (!inProgress) {
            job.m_bChecked = !job.m_bChecked;
            job.m_strOutputName.clear();
            job.m_strOutputPath.clear();
            job.m_bDone = false;
            job.m_bFailed = false;
            job.m_strFailure.clear();
            m_list->RedrawCells(click.row, click.row, kProgressColumn,
                                CMyCustomizeList::kWholeCell);
            m_list->RedrawCells(click.row, click.row, 0, CMyCustomizeList::kCheckBox);
        }
    } else if (click.column == kSettingsColumn && click.imageHit && !inProgress) {
        CSettingDialogRunner dialog(this);
        EditJobOptions(jobs, static_cast<std::size_t>(click.row), dialog);
    }
    if (click.column == kProgressColumn && click.textHit && !job.m_strOutputPath.empty()) {
        platform::ShellOpen(job.m_strOutputPath);
    }
}

// --- The controller's host ---

void CFolvaneDlg::RunOnUi(std::function<void()> f) {
    if (OnUiThread()) {
        f();
    } else {
        QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
    }
}

void CFolvaneDlg::RunOnUiAndWait(const std::function<void()>& f) {
    if (OnUiThread()) {
        f();
    } else {
        QMetaObject::invokeMethod(this, f, Qt::BlockingQueuedConnection);
    }
}

int CFolvaneDlg::RunMessageBox(const std::string& text, const std::string& caption, UINT type) {
    QMessageBox box(this);
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    switch (type & MB_ICONMASK) {
        case MB_ICONSTOP:
            box.setIcon(QMessageBox::Critical);
            break;
        case MB_ICONEXCLAMATION:
            box.setIcon(QMessageBox::Warning);
            break;
        case MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case MB_ICONINFORMATION:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
    }
    if ((type & MB_TYPEMASK) == MB_YESNO) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return IDOK;
}

int CFolvaneDlg::ShowMessageBox(const std::string& text, const std::string& caption, UINT type) {
    int answer = IDOK;
    RunOnUiAndWait([&] { answer = RunMessageBox(text, caption, type); });
    return answer;
}

std::string CFolvaneDlg::DefaultCaption() const {
    return kProductName;
}

void CFolvaneDlg::EnableBatchButtons(bool enable) {
    RunOnUi([this, enable] {
        for (int id : {IDC_ADD, IDC_REMOVE, IDC_CONVERT}) {
            Control<CBmpButton>(id)->setEnabled(enable);
        }
    });
}

void CFolvaneDlg::Repaint() {
    RunOnUi([this] {
        update();
        m_list->viewport()->update();
    });
}

void CFolvaneDlg::RedrawJob(unsigned index) {
    const int row = static_cast<int>(index);
    for (int column = 0; column < static_cast<int>(std::size(kColumns)); ++column) {
        m_list->RedrawCells(row, row, column, CMyCustomizeList::kWholeCell);
    }
}

int CFolvaneDlg::GetDeviceCaps(int index) const {
    if (index == LOGPIXELSX)
        return m_nDpiX;
    if (index == LOGPIXELSY)
        return m_nDpiY;
    return 0;
}

void CFolvaneDlg::PostMessageToUi(UINT message, WPARAM wParam, LPARAM lParam) {
    QCoreApplication::postEvent(this, new CJobEvent(message, wParam, lParam));
}

void CFolvaneDlg::customEvent(QEvent* event) {
    if (event->type() == static_cast<QEvent::Type>(WM_JOB_PREPARED) ||
        event->type() == static_cast<QEvent::Type>(WM_JOB_FINISHED)) {
        const auto* job = static_cast<CJobEvent*>(event);
        m_controller->OnMessage(job->m_message, job->m_wParam, job->m_lParam);
        return;
    }
    QDialog::customEvent(event);
}

void CFolvaneDlg::CloseMainWindow() {
    RunOnUi([this] { EndDialog(); });
}

void CFolvaneDlg::SetTitle(const std::string& title) {
    RunOnUi([this, title] { setWindowTitle(QString::fromStdString(title)); });
}

void CFolvaneDlg::UpdateData(bool saveAndValidate) {
    RunOnUiAndWait([this, saveAndValidate] {
        if (saveAndValidate) {
            m_strDestinationDir = m_output->text().toStdString();
        } else {
            const QSignalBlocker quiet(m_output);
            m_output->setText(QString::fromStdString(m_strDestinationDir));
        }
    });
}

std::string CFolvaneDlg::DestinationDir() const {
    return m_strDestinationDir;
}

bool CFolvaneDlg::WaitResponsively(const std::function<bool()>& wait) {
    if (!OnUiThread())
        return wait();
    // The wait runs beside the UI thread, which goes on painting and answering; the legs keep
    // their order because this returns only when the wait is over.
    QEventLoop loop;
    std::atomic<bool> result{false};
    std::thread waiter([&] {
        result = wait();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    waiter.join();
    return result;
}

// --- Window behaviour ---

bool CFolvaneDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    // Keys of this window, seen once: by the control that has the focus (or the window).
    const QWidget* focus = QApplication::focusWidget();
    if (widget == nullptr || widget->window() != this || (focus != nullptr && widget != focus)) {
        return QDialog::eventFilter(watched, event);
    }
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
        return true;  // neither closes the window nor presses a button
    }
    if (key == Qt::Key_Delete)
        OnRemove();
    return QDialog::eventFilter(watched, event);
}

void CFolvaneDlg::reject() {
    // Escape never closes the window; leaving goes through the close command.
}

void CFolvaneDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnClose();
}

void CFolvaneDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (isMinimized()) {
        const int side = style()->pixelMetric(QStyle::PM_LargeIconSize);
        painter.drawPixmap((width() - side + 1) / 2, (height() - side + 1) / 2,
                           m_hIcon.pixmap(side, side));
        return;
    }
    DrawExtended(m_background, painter, 0, 0, rect());
}

void CFolvaneDlg::mousePressEvent(QMouseEvent* event) {
    // The window has no frame: it is dragged by its background.
    if (event->button() == Qt::LeftButton) {
        m_bDragging = true;
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    }
    QDialog::mousePressEvent(event);
}

void CFolvaneDlg::mouseMoveEvent(QMouseEvent* event) {
    if (m_bDragging && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - m_dragOffset);
    }
    QDialog::mouseMoveEvent(event);
}

void CFolvaneDlg::mouseReleaseEvent(QMouseEvent* event) {
    m_bDragging = false;
    QDialog::mouseReleaseEvent(event);
}
