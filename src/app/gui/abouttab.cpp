#include "app/gui/abouttab.h"

#include "app/gui/buildinfo.h"
#include "app/gui/icons.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

AboutTab::AboutTab(TabContext &context, QWidget *parent) : Tab(context, parent) {
    auto *layout = new QVBoxLayout(this);
    auto *banner = new QLabel(this);
    banner->setObjectName(QStringLiteral("Image_Banner"));
    banner->setPixmap(Icons::banner(devicePixelRatioF()));
    banner->setAlignment(Qt::AlignCenter);
    layout->addWidget(banner);

    auto *form = new QFormLayout;
    form->setFormAlignment(Qt::AlignHCenter);
    auto *version = new QLabel(QStringLiteral(VEXMOOR_VERSION), this);
    version->setObjectName(QStringLiteral("Label_Version"));
    auto *date = new QLabel(QStringLiteral(VEXMOOR_RELEASE_DATE), this);
    date->setObjectName(QStringLiteral("Label_Date"));
    form->addRow(QStringLiteral("Version:"), version);
    form->addRow(QStringLiteral("Date:"), date);
    auto *centred = new QHBoxLayout; // the two labels stand centred under the banner
    centred->addStretch();
    centred->addLayout(form);
    centred->addStretch();
    layout->addLayout(centred);

    auto *notice = new QLabel(this);
    notice->setObjectName(QStringLiteral("Label_Notice"));
    notice->setWordWrap(true);
    notice->setAlignment(Qt::AlignCenter);
    notice->setText(QStringLiteral(
        "Vexmoor administers Tribes dedicated servers over their remote console and keeps "
        "their statistics.\n\nThis program may be copied and given away freely, as long as "
        "it is passed on whole and unchanged and nothing is charged for it. It comes with no "
        "warranty of any kind: you use it at your own risk."));
    layout->addWidget(notice);
    layout->addStretch();
}
