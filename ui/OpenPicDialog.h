// The modal dialog that asks for a picture to open or a name to save under: the picture
// panel with OK and Cancel, and the checks that decide whether a choice is accepted.
#pragma once

#include "KvMediaFile/KvMediaUi.h"

class CKvOpenPicDlg : public CKvDialog {
 public:
  CKvOpenPicDlg(int openFlag, int typeFilter, CString path, CWnd* parent,
                SKvMediaAdjustParams* params);
  ~CKvOpenPicDlg() override;

  BOOL OnInitDialog() override;
  HINSTANCE GetResourceHandle() override;
  // The acceptance: the dialog closes with OK only for a choice that passes.
  void OnOK() override;

  CString GetPath() const { return m_path; }
  CKvPicfilePanelDlg& Panel() { return m_panel; }
  int SimpleDialog() const { return m_simple; }
  int ReadInPlace() const { return m_inPlace; }

 protected:
  void CreateControls() override;

 private:
  void ReadChecks();

  CKvPicfilePanelDlg m_panel;
  SKvMediaAdjustParams* m_params;
  int m_typeFilter;
  CString m_path;
  int m_openFlag;
  int m_simple = 0;
  int m_inPlace = 0;
};
