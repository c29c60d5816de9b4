#include "ui/CAboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "lang/LanguageProvider.h"
#include "platform/user32.h"
#include "skin/ControlCommand.h"
#include "ui/DialogTemplate.h"
#include "ui/LinkButton.h"
#include "ui/ProductInfo.h"

namespace {

constexpr int IDC_STATIC = -1;
constexpr int IDC_WEBSITE_LINK = 1051;

constexpr char kSection[] = "AboutDlg";

enum { kIconControl, kProductLineControl };
const ControlTemplate kControls[] = {
    {IDC_STATIC, ControlKind::kIcon, "", 14, 14, 20, 20},
    {IDC_STATIC, ControlKind::kLabel, "", 43, 15, 114, 8},
    {IDOK, ControlKind::kDefaultButton, "OK", 170, 12, 50, 14},
    {IDC_WEBSITE_LINK, ControlKind::kLink, "Visit the website of \"Tessaline\"", 38, 29, 165, 14},
};

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent, const std::string& programFolder) : CTemplateDialog(parent) {
    setWindowTitle(QStringLiteral("About"));
    SetDialogFrame(this, 239, 65);
    const std::vector<QWidget*> controls = BuildControls(this, kControls);

    auto* icon = static_cast<QLabel*>(controls[kIconControl]);
    const QPixmap picture = ProgramIcon(programFolder);
    if (!picture.isNull()) {
        icon->setPixmap(picture);
        icon->resize(picture.size());
    }
    SetControlText(controls[kProductLineControl],
                   QStringLiteral("%1, Version %2").arg(kProductName, ProductVersion()));

    m_btnLink = static_cast<CLinkButton*>(GetDlgItem(this, IDC_WEBSITE_LINK));
    connect(static_cast<QPushButton*>(GetDlgItem(this, IDOK)), &QPushButton::clicked, this,
            &CAboutDlg::accept);
}

void CAboutDlg::showEvent(QShowEvent* event) {
    CTemplateDialog::showEvent(event);
    GetDlgItem(this, IDOK)->setFocus();
}

void CAboutDlg::OnInitDialog() {
    setWindowTitle(QString::fromStdString(LangText(kSection, "About")));
    SetControlText(GetDlgItem(this, IDOK), QString::fromStdString(LangText(kSection, "OK")));
    m_btnLink->SetURL(ProductPageUrl());
    m_btnLink->SetTooltip(MakerUrl());
    m_btnLink->SizeToContent();
}
