// A link button, as the framework's: underlined text in the link colour that opens its web
// address with the user's default application when clicked, with a tooltip of its own. An "&"
// in its text marks a mnemonic, as on any button.
#pragma once

#include <QAbstractButton>
#include <string>

class CLinkButton : public QAbstractButton {
  public:
    explicit CLinkButton(QWidget* parent = nullptr);

    void SetURL(const std::string& url) { m_strURL = url; }
    const std::string& GetURL() const { return m_strURL; }
    void SetTooltip(const std::string& tip);
    // Fits the control to its text, keeping its top-left corner.
    void SizeToContent();

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QFont LinkFont() const;

    std::string m_strURL;
};
