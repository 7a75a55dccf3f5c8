#include "sheet/page02.h"

#include "protocol/pserver_context.h"
#include "protocol/status_record.h"

#include <QHeaderView>

namespace vnk::sheet {

using namespace protocol;

Page02::Page02(CPServerContext& context, UiServices& ui, const PageParameters& parameters, QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::ServerName, false, parent) {
    m_list = new QTreeWidget(this);
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({texts().portColumn, texts().statusColumn});
    m_list->setRootIsDecorated(false);
    m_list->setColumnWidth(0, 50);
    m_list->setColumnWidth(1, 200);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    body()->addWidget(m_list, 1);
    setBodyGrows(true);
    m_refresh = new QPushButton(texts().refreshButton, this);
    m_refresh->setObjectName(QStringLiteral("refresh"));
    buttonRow()->addWidget(m_refresh);
    connect(m_refresh, &QPushButton::clicked, this, &Page02::refresh);
}

QString Page02::refusal() {
    if (!firmwarePresent(entry()->identity))
        return texts().upgradeFirst;
    return {};
}

void Page02::fill() {
    m_list->clear();
    build();
}

void Page02::refresh() {
    if (!entry() || refused())
        return;
    build();
}

void Page02::build() {
    WaitCursor wait(ui());
    CPServerContext& ctx = *context();
    ServerEntry& e = *entry();
    m_list->clear();
    // A failed read leaves the buffer as it was; the rows then show the last state.
    ctx.XGetPServerStatus(e, ctx.statusBuffer);
    const auto rows = printerStatusRows(ctx.statusBuffer, ctx.parallelPortCount, ctx.serialPortCount,
                                        hasExtendedPrinterStatus(e.identity),
                                        [&](int port) -> const PrinterStatusBuffer* {
                                            return ctx.XGetPrinterStatus(e, ctx.printerStatusBuffer, port)
                                                       ? &ctx.printerStatusBuffer
                                                       : nullptr;
                                        });
    for (const auto& r : rows)
        new QTreeWidgetItem(m_list, {boxText(r.column1), boxText(r.column2)});
}

} // namespace vnk::sheet
