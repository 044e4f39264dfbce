// Windows only. The volume picker of the settings dialog (template IDD_VOLUME_PICK): asks a
// server for its volumes and lets the user take one of them, or "*" for all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mlib/mwin.h"

struct VolumePickQuery;

class VolumePickDlg : public MDlg {
public:
    // The server to ask; the list is asked for on a thread of its own once the dialog shows.
    VolumePickDlg(const char* host, uint16_t port);
    ~VolumePickDlg() override;

    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // After DoModal returned IDOK: the path chosen, "*" for every volume.
    const std::string& Chosen() const { return m_chosen; }

private:
    void OnInitDialog();
    void OnListed();
    void Close(INT_PTR result);

    std::string m_host;
    uint16_t m_port;
    std::shared_ptr<VolumePickQuery> m_query;  // shared with the thread that asks
    std::vector<std::string> m_paths;          // of the list's lines: "*", then the volumes
    std::string m_chosen;
};

// The button "ボリューム一覧…" of the settings dialog: asks the server of its host and
// port fields and puts the path chosen into its path field.
void PickVolumeInto(HWND settings);
