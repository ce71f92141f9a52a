#include "gui/about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/about_text.h"
#include "gui/qt_text.h"

namespace gui {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About TolvarTestSuite"));
    auto* version = new QLabel(ToQt(AboutText(__DATE__, __TIME__)), this);
    version->setObjectName(QStringLiteral("versionText"));
    auto* notice = new QLabel(QString::fromLatin1(kNotice), this);
    notice->setObjectName(QStringLiteral("noticeText"));
    notice->setWordWrap(true);
    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap(QStringLiteral(":/toolbar/about.png")).scaled(32, 30));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(version, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(notice);
    layout->addWidget(buttons);
    setFixedWidth(360);
}

QString CAboutDlg::VersionText() const
{
    return findChild<QLabel*>(QStringLiteral("versionText"))->text();
}

QString CAboutDlg::NoticeText() const
{
    return findChild<QLabel*>(QStringLiteral("noticeText"))->text();
}

}  // namespace gui
