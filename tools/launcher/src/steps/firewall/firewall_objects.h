// Where the firewall step gets its COM objects from. The launcher creates
// the platform's in-process objects, and the elevated policy through the
// elevation moniker; tests put factories of their own here, since Wine
// implements almost none of the firewall interfaces.
#pragma once

#include <windows.h>
#include <netfw.h>

struct FirewallObjectFactory {
    HRESULT (*createPolicy)(INetFwPolicy2** policy);
    // Asks the user for administrator rights (owner: the main window).
    HRESULT (*createElevatedPolicy)(HWND owner, INetFwPolicy2** policy);
    HRESULT (*createRule)(INetFwRule** rule);
    HRESULT (*createManager)(INetFwMgr** manager);
    HRESULT (*createAuthorizedApplication)(INetFwAuthorizedApplication** application);
};

// The platform's objects.
extern const FirewallObjectFactory PlatformFirewallObjects;

// What the firewall step uses; PlatformFirewallObjects unless a test has
// replaced it.
extern FirewallObjectFactory FirewallObjects;

// Binds "Elevation:Administrator!new:{class id of NetFwPolicy2}" with the
// owner window and a local-server class context.
HRESULT CoCreateInstanceAsAdmin(HWND owner, INetFwPolicy2** policy);
