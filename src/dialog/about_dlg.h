// CAboutDlg: the icon, the name and version, what Orlix files are, OK.
#pragma once

#include <QDialog>

namespace qf {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace qf
