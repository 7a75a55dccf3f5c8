// The Printer Status page: one row per printer port with its state, and, for a
// box with extended printer status, what each printer says on its display and
// its identification items.
#pragma once

#include "sheet/settings_page.h"

#include <QTreeWidget>

namespace vnk::sheet {

class Page02 : public SettingsPage {
    Q_OBJECT
public:
    Page02(protocol::CPServerContext& context, UiServices& ui, const PageParameters& parameters,
           QWidget* parent = nullptr);

    // Reads the status again and rebuilds the list (the Refresh button).
    void refresh();

    QTreeWidget* list() const { return m_list; }
    QPushButton* refreshButton() const { return m_refresh; }

protected:
    QString refusal() override;
    void fill() override;

private:
    void build();

    QTreeWidget* m_list;
    QPushButton* m_refresh;
};

} // namespace vnk::sheet
