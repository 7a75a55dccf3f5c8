#include "sheet/page07.h"

#include "protocol/pserver_context.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFrame>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace vnk::sheet {

using namespace protocol;

namespace {

// Long enough for any path this system can open. The original field held 100
// characters, which would cut a chosen path short here and send another file.
constexpr int FileNameLimit = 4096;

// The window paints, and the progress bar moves, while the transfer keeps the
// user interface thread; clicks and keys wait until the transfer has ended.
void keepPainting() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

// ------------------------------------------------------------------ progress window

UpgradeProgressWindow::UpgradeProgressWindow(const QString& caption, const QString& line1, const QString& line2,
                                             const QString& barFormat, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_line1(new QLabel(line1, this)), m_line2(new QLabel(line2, this)), m_bar(new QProgressBar(this)) {
    setWindowTitle(caption);
    setModal(false);
    m_bar->setRange(0, firmware::FullImageBlocks);
    m_bar->setValue(0);
    m_bar->setFormat(barFormat);
    m_bar->setTextVisible(true);
    m_bar->setMinimumWidth(m_bar->fontMetrics().horizontalAdvance(barFormat) + 200);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->setSpacing(4);
    layout->addWidget(m_line1);
    layout->addWidget(m_line2);
    layout->addSpacing(12);
    layout->addWidget(m_bar);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void UpgradeProgressWindow::setBlocksSent(int blocks) {
    m_bar->setValue(std::clamp(blocks, 0, firmware::FullImageBlocks));
}

QStringList UpgradeProgressWindow::lines() const {
    return {m_line1->text(), m_line2->text()};
}

// ------------------------------------------------------------------ the page

Page07::Page07(CPServerContext& context, UiServices& ui, const PageParameters& parameters, QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::ServerName, false, parent) {
    const PageTexts& t = texts();

    auto* nameLabel = new QLabel(t.fileNameLabel, this);
    m_fileName = new QLineEdit(this);
    m_fileName->setObjectName(QStringLiteral("fileName"));
    m_fileName->setMaxLength(FileNameLimit);
    nameLabel->setBuddy(m_fileName);
    m_browse = new QPushButton(t.browseButton, this);
    m_browse->setObjectName(QStringLiteral("browse"));
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(nameLabel);
    fileRow->addWidget(m_fileName, 1);
    fileRow->addWidget(m_browse);
    body()->addLayout(fileRow);

    m_typeGroup = new QButtonGroup(this);
    // The row keeps its height while its buttons are hidden, so that the text
    // under it does not jump when a file with several images is chosen.
    auto* typeRowWidget = new QWidget(this);
    auto* typeRow = new QHBoxLayout(typeRowWidget);
    typeRow->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < TypeCount; ++i) {
        auto* b = new QRadioButton(t.typeButtons[i], typeRowWidget);
        b->setObjectName(QStringLiteral("type%1").arg(i + 1));
        b->setVisible(false);
        m_typeGroup->addButton(b, i);
        typeRow->addWidget(b);
        m_types[std::size_t(i)] = b;
        connect(b, &QRadioButton::clicked, this, [this, i] { typeClicked(i); });
    }
    typeRow->addStretch(1);
    typeRowWidget->setMinimumHeight(m_types[0]->sizeHint().height());
    body()->addWidget(typeRowWidget);

    // The protocol lines come double-spaced: all nine take more height than the
    // sheet has, so the text area takes the rest of the page and scrolls.
    m_protocolText = new QLabel;
    m_protocolText->setObjectName(QStringLiteral("protocolText"));
    m_protocolText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_protocolText->setTextFormat(Qt::PlainText);
    m_protocolText->setMargin(6);
    auto* area = new QScrollArea(this);
    area->setObjectName(QStringLiteral("protocolArea"));
    area->setWidget(m_protocolText);
    area->setWidgetResizable(true);
    // A static text: the page's own background shows through.
    area->viewport()->setAutoFillBackground(false);
    m_protocolText->setAutoFillBackground(false);
    area->setFrameShape(QFrame::StyledPanel);
    area->setFrameShadow(QFrame::Sunken);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    body()->addWidget(area, 1);
    setBodyGrows(true);

    m_upgrade = new QPushButton(t.upgradeButton, this);
    m_upgrade->setObjectName(QStringLiteral("upgrade"));
    buttonRow()->addWidget(m_upgrade);

    setTypeIndex(0);
    connect(m_browse, &QPushButton::clicked, this, &Page07::browse);
    connect(m_upgrade, &QPushButton::clicked, this, &Page07::upgrade);
}

int Page07::typeIndex() const {
    const int id = m_typeGroup->checkedId();
    return id < 0 ? 0 : id;
}

void Page07::setTypeIndex(int typeIndex) {
    m_types.at(std::size_t(typeIndex))->setChecked(true);
}

void Page07::showTypeButtons(const TypeButtons& visible) {
    m_types[0]->setVisible(visible.type1);
    m_types[1]->setVisible(visible.type2);
    m_types[2]->setVisible(visible.type3);
}

std::string Page07::filePath() const {
    return QFile::encodeName(m_fileName->text()).toStdString();
}

void Page07::showMessage(const std::string& text, UiServices::Icon icon) {
    appMessage(QString::fromStdString(text), UiServices::Ok, icon);
}

bool Page07::onSetActive() {
    // Every activation starts without protocol text, on image 0, with the Type
    // buttons hidden, whether or not the box can be upgraded.
    m_protocolText->clear();
    setTypeIndex(0);
    showTypeButtons({});
    return SettingsPage::onSetActive();
}

QString Page07::refusal() {
    if (!parameters().udpUpgradeGate || supportsUdpUpgrade(recordOf(context()->configBuffer)))
        return {};
    return boxText(noIpUpgradeText(entry()->name()));
}

void Page07::fill() {
    m_checksEnabled = true;
    const std::string digits = modelCodeDigits(recordOf(context()->configBuffer));
    const std::string path = defaultFirmwarePath(QFile::encodeName(QDir::currentPath()).toStdString(), digits);
    m_fileName->setText(QFile::decodeName(QByteArray::fromStdString(path)));
}

void Page07::browse() {
    if (refused() || !entry())
        return;
    const std::string digits = modelCodeDigits(recordOf(context()->configBuffer));
    const QString defaultName = QString::fromStdString(defaultFirmwareFileName(digits));
    // The dialog opens in the current directory with the default name filled in.
    const QString chosen =
        ui().openFileName(texts().openFileCaption, QDir::current().filePath(defaultName), texts().binFileFilter);
    if (chosen.isEmpty())
        return;
    const BrowseResult b = browseFirmwareFile(QFile::encodeName(chosen).toStdString(), m_checksEnabled,
                                              protocolTexts());
    if (isFileError(b.file) && !b.analysed) {
        // The file did not open: the page stays as it was.
        showMessage(fileCheckText(b.file, upgradeTexts()));
        return;
    }
    m_fileName->setText(chosen);
    m_protocolText->setText(QString::fromStdString(b.protocolText));
    if (b.analysed) {
        m_imageCount = b.imageCount;
        setTypeIndex(b.typeIndex);
        showTypeButtons(b.buttons);
    }
    if (isFileError(b.file))
        showMessage(fileCheckText(b.file, upgradeTexts()));
}

void Page07::typeClicked(int type) {
    if (refused() || !entry())
        return;
    setTypeIndex(type);
    FileCheck error = FileCheck::Accepted;
    if (const auto mask = readProtocolMask(filePath(), type, &error))
        m_protocolText->setText(QString::fromStdString(protocolMaskText(*mask, protocolTexts())));
    else if (isFileError(error))
        showMessage(fileCheckText(error, upgradeTexts()));
    // Without the marker in that image the text stays as it was.
}

void Page07::upgrade() {
    ServerEntry* e = entry();
    if (!e || refused())
        return;
    const UpgradeTexts& u = upgradeTexts();
    if (appMessage(QString::fromUtf8(u.confirm), UiServices::Yes | UiServices::No, UiServices::Icon::Question) !=
        UiServices::Yes)
        return;
    if (m_fileName->text().isEmpty()) {
        showMessage(u.enterFileFirst);
        return;
    }
    CPServerContext& ctx = *context();
    const auto rec = recordOf(ctx.configBuffer);
    const std::string path = filePath();
    const int type = typeIndex();
    const FileCheck check = checkFirmwareFile(path, type, modelCodeDigits(rec), m_checksEnabled);
    if (check != FileCheck::Accepted) {
        showMessage(fileCheckText(check, u));
        return;
    }
    MacAddress recordEthernet{};
    std::memcpy(recordEthernet.data(), &rec[record::EthernetAddress], recordEthernet.size());

    WaitCursor wait(ui());
    bool upgraded;
    {
        UpgradeProgressWindow progress(title(), QString::fromUtf8(u.progressLine1), QString::fromUtf8(u.progressLine2),
                                       texts().upgradeProgressFormat, window());
        progress.setObjectName(QStringLiteral("upgradeProgress"));
        m_progress = &progress;
        progress.show();
        keepPainting();
        upgraded = XUpgradeFlashRAM(ctx, *e, path, recordEthernet, type,
                                    [&progress](int blocksSent) {
                                        progress.setBlocksSent(blocksSent);
                                        keepPainting();
                                    },
                                    &m_lastResult) == 1;
        m_progress = nullptr;
        progress.close();
    }
    if (!upgraded) {
        // Both utilities name a file error inside the transfer in English.
        if (m_lastResult.end == UpgradeEnd::FileError)
            showMessage(fileCheckText(m_lastResult.fileError));
        showMessage(u.failed);
        return;
    }
    showMessage(u.succeeded,
                texts().upgradeSucceededInformation ? UiServices::Icon::Information : UiServices::Icon::Warning);
    switch (rereadAfterUpgrade(ctx, *e)) {
    case Reread::Ok: break;
    case Reread::CannotReadEeprom: showMessage(u.cannotReadEeprom); break;
    case Reread::CannotReadStatus: showMessage(u.cannotReadStatus); break;
    }
}

} // namespace vnk::sheet
