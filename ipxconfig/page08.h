// The IPX utility's options page: the print server's alias name and the
// switches of the diagnostic print-out and of the protocols the box speaks
// (TCP/IP, NetWare, NetBEUI, AppleTalk) as far as its model has them. The
// factory settings have a page of their own (Page07).
#pragma once

#include "ipxconfig/hollin_texts.h"
#include "transport/ipx/ipx_context.h"
#include "sheet/settings_page.h"

#include <QCheckBox>

#include <string>

namespace vnk::ipxconfig {

class Page08 : public sheet::SettingsPage {
    Q_OBJECT
public:
    Page08(protocol::CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
       QWidget* parent = nullptr);

    QLineEdit* aliasEdit() const { return m_alias; }
    QCheckBox* diagnosticCheck() const { return m_diagnostic; }
    QCheckBox* tcpipCheck() const { return m_tcpip; }
    QCheckBox* netwareCheck() const { return m_netware; }
    QCheckBox* netbeuiCheck() const { return m_netbeui; }
    QCheckBox* appletalkCheck() const { return m_appletalk; }

protected:
    void fill() override;
    bool store() override;

private:
    QLineEdit* m_alias;
    std::string m_shownAlias; // the bytes the alias edit was filled from
    QCheckBox* m_diagnostic;
    QCheckBox* m_tcpip;
    QCheckBox* m_netware;
    QCheckBox* m_netbeui;
    QCheckBox* m_appletalk;
};

} // namespace vnk::ipxconfig
