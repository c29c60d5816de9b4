// A dialog built as its template describes it: controls from a table in dialog units, each
// keeping its id, in the dialog font; their texts set later in the selected language.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <initializer_list>
#include <span>
#include <utility>
#include <vector>

class QWidget;

enum class ControlKind {
    kButton,
    kDefaultButton,
    kGroup,
    kLabel,
    kIcon,  // a picture, as large as the picture it is given
    kEdit,
    kPassword,
    kCheck,
    kDropList,
    kLink,  // a CLinkButton
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;              // the text before the language's is set
    int left, top, width, height;  // dialog units; a drop-down list's height includes its list
};

// A control's text in the language: (section, key).
struct ControlText {
    int id;
    const char* section;
    const char* key;
};

// "MS Shell Dlg" 8, or the metric-compatible face fontconfig offers.
QFont DialogFont();

// Dialog units of an 8-point dialog font at 96 dots per inch.
QRect DialogUnitsToPixels(int left, int top, int width, int height);

// Gives the dialog the dialog font and its fixed size in dialog units.
void SetDialogFrame(QWidget* dialog, int width, int height);

// Makes the controls in table order (the tab order), each at its place with its id, and returns
// them in that order. Group boxes are frames behind the controls they enclose, not their parents.
std::vector<QWidget*> BuildControls(QWidget* dialog, std::span<const ControlTemplate> controls);

// Sets a control's text as written: an "&" is no mnemonic here.
void SetControlText(QWidget* control, const QString& text);

// Sets each listed control's text from the selected language.
void SetControlTexts(QWidget* dialog, std::span<const ControlText> texts);

// Captions longer in the chosen language than the template allows would be cut: the boxes of a
// column of captioned boxes then start after the longest caption, keeping their right edges.
// Pairs are (caption id, box id).
void FitCaptionsBeforeBoxes(QWidget* dialog, std::initializer_list<std::pair<int, int>> pairs);
