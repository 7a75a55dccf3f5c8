#include "sheet/page03.h"

#include "protocol/pserver_context.h"
#include "protocol/status_record.h"

#include <QFormLayout>

namespace vnk::sheet {

using namespace protocol;

Page03::Page03(CPServerContext& context, UiServices& ui, const PageParameters& parameters, QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::TitleConfiguration, false, parent) {
    const PageTexts& t = texts();
    const QString labels[FieldCount] = {t.deviceNameLabel, t.aliasNameLabel,   t.ethernetIdLabel,
                                        t.frameTypeLabel,  t.activeIpLabel,    t.netbeuiLabel,
                                        t.protocolLabel,   t.diagnosticLabel, t.networkSpeedLabel};
    auto* form = new QFormLayout;
    for (std::size_t i = 0; i < FieldCount; ++i) {
        m_fields[i] = new QLineEdit(this);
        makeReadOnly(m_fields[i]);
        form->addRow(labels[i], m_fields[i]);
    }
    m_fields[DeviceName]->setMaxLength(8);
    body()->addLayout(form);
}

void Page03::fill() {
    const CPServerContext& ctx = *context();
    const DeviceStatusFields f =
        deviceStatusFields(entry()->identity, recordOf(ctx.configBuffer), ctx.statusBuffer, ctx.parallelPortCount);
    const std::string values[FieldCount] = {f.deviceName, f.aliasName,       f.ethernetId,
                                            f.frameType,  f.activeIp,        f.netbeui,
                                            f.protocolSupport, f.diagnosticPrintOut, f.networkSpeed};
    for (std::size_t i = 0; i < FieldCount; ++i)
        m_fields[i]->setText(boxText(values[i]));
}

} // namespace vnk::sheet
