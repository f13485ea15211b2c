#include "setup/qt/about_dlg.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvella {

const QIcon& ApplicationIcon() {
    static const QIcon icon = [] {
        QPixmap pixmap(32, 32);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(0x1f, 0x5f, 0x9f));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(1, 1, 30, 30, 6, 6);
        painter.setPen(QPen(Qt::white, 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(8, 8, 16, 16);
        return QIcon(pixmap);
    }();
    return icon;
}

CAboutDlg::CAboutDlg(const std::string& versionText, QWidget* parent) : QDialog(parent) {
    setWindowTitle("About OrvellaNSTSetup");
    setWindowIcon(ApplicationIcon());
    auto* icon = new QLabel(this);
    icon->setPixmap(ApplicationIcon().pixmap(32, 32));
    auto* text =
        new QLabel(QString::fromLatin1(("OrvellaNSTSetup Version " + versionText).c_str()), this);
    text->setObjectName("1018");
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("1");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(text, 1);
    row->addWidget(ok, 0, Qt::AlignTop);
    setLayout(row);
    // 235 by 55 dialog units.
    setFixedSize(qMax(353, sizeHint().width()), qMax(90, sizeHint().height()));
}

}  // namespace orvella
