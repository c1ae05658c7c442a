// CQuillfenDlg: the converter. Four radio buttons choose the output kind, "Choose
// Directory" converts a whole folder. The conversion itself is the core's batch run; the
// dialog maps its widgets to the run's inputs and the run's report to the screen.
#pragma once

#include <QDialog>
#include <QIcon>
#include <map>

#include "control/getdata_ctrl.h"
#include "convert/batch_run.h"

class QButtonGroup;

namespace qf {

class CButtonctrl2;
class CProfilesctrl1;
class DialogServices;
struct TemplateItem;

class CQuillfenDlg : public QDialog {
    Q_OBJECT
public:
    /// `services` (not owned) stands for the desktop; null uses the real one.
    explicit CQuillfenDlg(DialogServices* services = nullptr, QWidget* parent = nullptr);
    ~CQuillfenDlg() override;
    Q_DISABLE_COPY_MOVE(CQuillfenDlg)

    /// Data exchange: `save` stores the selected radio button's index in m_exportKind,
    /// otherwise the button of index m_exportKind is selected.
    void UpdateData(bool save);
    /// The "Choose Directory" click: pick a folder, convert it, show what failed.
    void OnBnClickedChooseDirectory();
    /// The About command (context menu, F1): runs the About box modally.
    void OnAbout();

    /// The item of template id `id` (for -1, the group box), or null.
    QWidget* Item(int id) const;
    /// Pause settings of the run; tests set the pause to zero.
    BatchSettings& runSettings() { return m_runSettings; }

    int m_exportKind = 0;

protected:
    /// Refreshes m_exportKind from the radio group; asked once per data file.
    virtual int RefreshExportKind();
    void accept() override;

private:
    void CreateItems();
    QWidget* CreateItem(const TemplateItem& item);
    QWidget* CreateHostedItem(int id);
    void OnInitDialog();
    void ShowReport(const BatchReport& report);

    QIcon m_hIcon;
    CGetdatactrl1 m_getdatactrl;
    CButtonctrl2* m_button1004 = nullptr;
    CButtonctrl2* m_button1001 = nullptr;
    CProfilesctrl1* m_profiles1006 = nullptr;
    CProfilesctrl1* m_profiles1007 = nullptr;

    DialogServices* m_services;
    std::unique_ptr<DialogServices> m_ownedServices;
    QButtonGroup* m_radioGroup = nullptr;
    std::map<int, QWidget*> m_items;
    BatchSettings m_runSettings;
};

/// The message for a run that stopped or had failures; empty for a clean run.
QString FailureMessage(const BatchReport& report);

}  // namespace qf
