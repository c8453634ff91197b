#include "launch/RasErrorTable.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

using TEntry = std::pair<std::uint32_t, std::string_view>;

// Sorted by code.
constexpr std::array RasErrors = {
    TEntry{600, "an operation is still pending"},
    TEntry{602, "the port is already open"},
    TEntry{603, "a buffer given to the service is too small"},
    TEntry{608, "the device does not exist (POSIX RAS layer: the entry's command could not be started)"},
    TEntry{611, "the network route is not available"},
    TEntry{612, "the network route is not allocated"},
    TEntry{615, "the port was not found"},
    TEntry{617, "the connection is already being closed"},
    TEntry{618, "the port is not open"},
    TEntry{619,
           "the link to the remote computer could not be held, so the port was closed (often a firewall "
           "between here and the VPN server)"},
    TEntry{621, "the phonebook cannot be opened (missing, or not a regular file)"},
    TEntry{622, "the phonebook cannot be read (damaged, unreadable, or too large)"},
    TEntry{623, "the phonebook has no entry of that name"},
    TEntry{624, "the phonebook cannot be written"},
    TEntry{625, "the phonebook entry holds invalid information (POSIX RAS layer: no usable Command= line)"},
    TEntry{627, "a key the entry needs is missing from the phonebook"},
    TEntry{628, "the remote computer ended the connection before it was complete"},
    TEntry{629, "the remote computer closed the connection"},
    TEntry{630, "the link was dropped by a hardware failure"},
    TEntry{631, "the user ended the connection"},
    TEntry{632, "a record handed to the service has the wrong size"},
    TEntry{633, "the device is in use by another connection or not set up for outgoing calls"},
    TEntry{635, "the service failed with an error it could not name"},
    TEntry{638, "the request timed out"},
    TEntry{645, "an internal authentication error occurred"},
    TEntry{646, "the account may not log on at this time of day"},
    TEntry{647, "the account is disabled"},
    TEntry{648, "the account's password has expired"},
    TEntry{649, "the account has no permission to connect remotely"},
    TEntry{650, "the remote access server does not respond"},
    TEntry{651, "the device reported a failure (POSIX RAS layer: the entry's command failed or was killed)"},
    TEntry{652, "the device gave an answer that was not understood"},
    TEntry{664, "the system ran out of memory"},
    TEntry{668, "the connection was dropped"},
    TEntry{676, "the line is busy"},
    TEntry{678, "there was no answer"},
    TEntry{679, "no carrier was detected"},
    TEntry{680, "there was no dial tone"},
    TEntry{691,
           "authentication refused: the user name or password is not accepted, or the authentication "
           "protocol is not permitted by the server"},
    TEntry{692, "the port or the device attached to it failed"},
    TEntry{718, "the remote computer stopped answering in time during the connection's negotiation"},
    TEntry{720, "no connection protocol could be agreed with the server (protocol settings do not match)"},
    TEntry{721, "the remote computer does not respond"},
    TEntry{734, "the link control protocol was ended during negotiation"},
    TEntry{735, "the server refused the requested address"},
    TEntry{738, "the server assigned no address"},
    TEntry{741, "this computer does not support the data encryption the entry requires"},
    TEntry{742, "the remote computer does not support the data encryption the entry requires"},
    TEntry{743, "the remote server requires data encryption"},
    TEntry{769, "the remote destination cannot be reached"},
    TEntry{778, "the identity of the server could not be verified"},
    TEntry{789, "the L2TP connection failed in the security negotiation (IPsec settings or pre-shared key)"},
    TEntry{792, "the L2TP connection failed: the security negotiation timed out"},
    TEntry{800,
           "the VPN server cannot be reached, or it refused the tunnel type (address, firewall, or VPN "
           "type setting)"},
    TEntry{806,
           "a link to the VPN server was made but the tunnel could not be completed (GRE, protocol 47, "
           "is probably blocked on the way)"},
    TEntry{807, "the network connection to the VPN server was interrupted"},
    TEntry{809,
           "the VPN server does not respond: a firewall or NAT device on the way is probably blocking the "
           "tunnel's traffic"},
    TEntry{812, "the connection is refused by a policy of the server (authentication method or permission)"},
    TEntry{868, "the VPN server's name could not be resolved (DNS)"},
    TEntry{13801, "IKE authentication credentials are not acceptable (certificate or pre-shared key)"},
    TEntry{13806, "IKE found no valid machine certificate"},
};

static_assert(std::is_sorted(RasErrors.begin(), RasErrors.end(),
                             [](const TEntry& a, const TEntry& b) { return a.first < b.first; }));

}  // namespace

std::optional<std::string_view> DialerStatusMeaning(std::uint32_t status)
{
    switch (status) {
        case 0:
            return "success: the connection was made";
        case 87:
            return "rejected by the dialer before the dial: an entry name, user name or password longer than 256 "
                   "characters, or a phone number longer than 128 (not logged)";
        case 9999:
            return "no dial result was reached: the parameter block was missing, did not decrypt or verify (made in "
                   "another minute, or with other key pieces), held fewer than five items, or the RAS library or its "
                   "RasDialW could not be bound; the error log says which";
        default:
            return std::nullopt;
    }
}

std::optional<std::string_view> RasErrorMeaning(std::uint32_t code)
{
    const auto it = std::lower_bound(RasErrors.begin(), RasErrors.end(), code,
                                     [](const TEntry& entry, std::uint32_t value) { return entry.first < value; });
    if (it == RasErrors.end() || it->first != code)
        return std::nullopt;
    return it->second;
}
