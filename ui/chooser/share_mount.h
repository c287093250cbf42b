// Where a share of the network can be written to as a folder: an existing CIFS mount of it, an
// existing GVfs mount, or a GVfs mount made now with `gio mount` and the user's credentials.
#pragma once

#include <string>

#include "app/network_places.h"
#include "platform/smb_client.h"

namespace rd {

struct ShareFolder {
    std::string folder;  // the share's folder with `rest`, ending with "/"; empty on failure
    std::string error;   // why it could not be reached
};

// Waits up to 30 s for a mount to be made.
ShareFolder LocalFolderOf(const ShareLocation& location, const smb::Credentials& credentials);

}  // namespace rd
