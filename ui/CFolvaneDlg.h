// The program's window: the batch list, the output folder, and the commands that add and remove
// documents, convert them, pick the language and open the help. It is the conversion
// controller's host: worker threads reach it only through calls that are carried out on the UI
// thread. It reads Config.ini when it opens and writes it when the user closes it.
#pragma once

#include <QDialog>
#include <QIcon>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "convert/ControllerHost.h"
#include "convert/ConversionController.h"
#include "convert/ConversionLegs.h"
#include "convert/PrintHandOff.h"
#include "skin/BitmapEx.h"
#include "skin/ControlCommand.h"
#include "ui/ImageList.h"
#include "ui/ListParent.h"

class CBmpButton;
class CBmpStatic;
class CColorStatic;
class CMyCustomizeList;
class QLabel;
class QLineEdit;

// Control ids of the window.
inline constexpr int IDC_MIN = 1000;
inline constexpr int IDC_ADD = 1001;
inline constexpr int IDC_REMOVE = 1002;
inline constexpr int IDC_LANGUAGE = 1003;
inline constexpr int IDC_HELP = 1005;
inline constexpr int IDC_LIST = 1006;
inline constexpr int IDC_OUTPUT_LABEL = 1007;
inline constexpr int IDC_OUTPUT = 1008;
inline constexpr int IDC_OPEN = 1009;
inline constexpr int IDC_CONVERT = 1010;
inline constexpr int IDC_TITLE = 1011;
inline constexpr int IDC_TITLE_ICON = 1012;
inline constexpr int IDC_CLOSE = 1014;

// Commands of the list's context menus.
inline constexpr int ID_MENU_ADD = 32778;
inline constexpr int ID_MENU_REMOVE = 32780;
inline constexpr int ID_MENU_CLEAR = 32781;
inline constexpr int ID_MENU_OPEN = 32782;

class CFolvaneDlg : public QDialog,
                    public IControllerHost,
                    public IListParent,
                    public ICommandTarget {
  public:
    // With no legs, the window converts with the real printer, word processor and PDF engine.
    explicit CFolvaneDlg(const ConversionLegs* legs = nullptr, QWidget* parent = nullptr);
    ~CFolvaneDlg() override;

    // Commands.
    void OnAdd();
    void OnRemove();
    void ClearJobs();
    void OpenSelectedDocuments();
    void OnOpenOutputFolder();
    void OnConvert();
    void OnLanguage();
    void OnHelp();
    // The close button and the window manager's close: asks while a batch runs.
    void OnClose();

    void RefreshList();
    void RefreshTexts();

    CMyCustomizeList& List() { return *m_list; }
    CConversionController& Controller() { return *m_controller; }
    const CDefaultPrinterKeeper& PrinterKeeper() const { return *m_printerKeeper; }

    // ICommandTarget: the skinned buttons.
    void OnCommand(int nId, int nCode, QWidget* pControl) override;

    // IListParent.
    void OnGetCellInfo(CMyCustomizeList& list, CellInfo& info) override;
    void OnCellClick(CMyCustomizeList& list, const ClickInfo& click) override;
    void OnFileDropped(unsigned count, const std::string& path) override;

    // IControllerHost.
    int ShowMessageBox(const std::string& text, const std::string& caption, UINT type) override;
    std::string DefaultCaption() const override;
    void EnableBatchButtons(bool enable) override;
    void Repaint() override;
    void RedrawJob(unsigned index) override;
    int GetDeviceCaps(int index) const override;
    void PostMessageToUi(UINT message, WPARAM wParam, LPARAM lParam) override;
    void CloseMainWindow() override;
    void SetTitle(const std::string& title) override;
    void UpdateData(bool saveAndValidate) override;
    std::string DestinationDir() const override;
    bool WaitResponsively(const std::function<bool()>& wait) override;

    std::string m_strDestinationDir;
    std::string m_strLanguage;
    int m_nDroppedCount = 0;
    bool m_bWarnDuplicate = true;

  protected:
    // Shows a message box on the UI thread and returns the answer; tests answer it themselves.
    virtual int RunMessageBox(const std::string& text, const std::string& caption, UINT type);
    // Asks for documents to add; empty when the user cancels.
    virtual std::vector<std::string> AskForDocuments();

    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void customEvent(QEvent* event) override;
    void reject() override;

  private:
    void BuildControls();
    void OnInitDialog();
    void ApplyCaptions();
    void InsertColumns();
    void ShowListMenu(const QPoint& at);
    void AddDocument(const std::string& path);
    // Makes the output folder when nothing is there: at opening and when the path is used
    // (Convert, Open, closing), never while it is typed.
    void MakeOutputFolder();
    // Leaves the program: the user's printer back, the page folder gone, the window closed.
    void EndDialog();
    bool OnUiThread() const { return std::this_thread::get_id() == m_uiThread; }
    // Runs f on the UI thread: at once there, queued from another thread.
    void RunOnUi(std::function<void()> f);
    // Runs f on the UI thread and returns when it is done.
    void RunOnUiAndWait(const std::function<void()>& f);
    template <typename T>
    T* Control(int nId) {
        return static_cast<T*>(GetDlgItem(this, nId));
    }

    std::unique_ptr<CSpoolerPrinterControl> m_realPrinter;
    std::unique_ptr<IDocumentHarvester> m_realHarvester;
    std::unique_ptr<IPrintHandOff> m_realHandOff;
    std::unique_ptr<IPdfBuilder> m_realPdfBuilder;
    std::unique_ptr<CDefaultPrinterKeeper> m_printerKeeper;
    std::unique_ptr<CConversionController> m_controller;

    QIcon m_hIcon;
    CImageList m_imageList{QSize(32, 32)};
    CBitmapEx m_background;
    CMyCustomizeList* m_list = nullptr;
    QLineEdit* m_output = nullptr;
    QLabel* m_outputLabel = nullptr;

    const std::thread::id m_uiThread;
    const int m_nDpiX;
    const int m_nDpiY;
    QPoint m_dragOffset;
    bool m_bDragging = false;
    bool m_bEnded = false;
};
