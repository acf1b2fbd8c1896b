#pragma once

#include <string>
#include <vector>

#include <Kelvor/KelvorAddrkitExport.h>

namespace Kelvor {

/** Expansion of host scopes into the addresses they stand for.

    A host scope is the text an operator writes to name one machine or a
    set of machines: an address, a range or block of addresses, a host
    name, or a numbered family of host names. This class turns one such
    text into the list of addresses or names it denotes.

    @par Thread Safety
    The class holds no state; its functions may be called concurrently.
*/
class KELVORADDRKIT_EXPORT Addrkit {
public:
    /** Append every address or host name that a scope stands for.

        The forms accepted, with the entries appended for each:

        @li An IPv4 address in dotted decimal, exactly four octets, no
            octet with a leading zero (`10.0.0.7`): that address.

        @li An IPv6 address in any RFC 4291 text form, optionally
            enclosed in one pair of square brackets (`[FE80::0:1]`): its
            RFC 5952 text, lower case and compressed (`fe80::1`).
            Addresses with a zone index (`fe80::1%eth0`) are not accepted.

        @li An IPv4 range `first-last`, both full addresses, with
            `first <= last` (`10.0.0.250-10.0.1.2`): every address from
            `first` to `last` inclusive, ascending.

        @li An IPv4 range with only the last octet after the hyphen
            (`10.0.0.5-9`), that octet in decimal without leading zeros
            and not below the first address's last octet: the addresses
            `10.0.0.5` to `10.0.0.9`, ascending.

        @li An IPv4 CIDR block `address/prefix` with `prefix` from 0 to 32
            in decimal without leading zeros, `address` being the block's
            network address (no host bits set) (`192.168.1.0/30`): its
            host addresses, ascending. A /32 gives its one address and a
            /31 both of its addresses; any other block gives every
            address except its network and broadcast addresses.

        @li A host name made of RFC 1123 labels (`bmc-01.lab.example`):
            letters, digits and hyphens, 1 to 63 characters per label, no
            label starting or ending with a hyphen, labels joined by
            single dots, no trailing dot, at most 253 characters in all,
            at least one letter somewhere, and a last label that does not
            read as a number (all decimal digits, or `0x` and hex digits),
            since resolvers would take such a name for an IPv4 address:
            the name, unchanged.

        @li A host name carrying exactly one bracketed decimal range
            `[first-last]`, `first <= last`, each bound any number of
            decimal digits (`bmc[08-11].lab`): one name per number from `first`
            to `last`, ascending, with the bracket replaced by the number
            (`bmc08.lab`, `bmc09.lab`, `bmc10.lab`, `bmc11.lab`). When
            `first` has more than one digit and starts with a zero, each
            number is zero-padded to the width of `first`; otherwise it is
            written in plain decimal, and `last` must then have no leading
            zero either. Every generated name must itself be a valid host
            name, or the whole scope is rejected.

        Everything else is rejected: the empty scope, a scope containing
        whitespace or any character outside printable ASCII, a malformed
        address, range or block, a range whose first address is above its
        last, IPv6 ranges and blocks, and any scope standing for more
        than 65,536 addresses. A scope of exactly 65,536 addresses is
        accepted. The size of a scope is worked out before anything is
        generated, so a hostile scope cannot make the call allocate
        without bound.

        @par Complexity
        Linear in the number of entries appended.

        @par Exception Safety
        Strong guarantee: if an exception is thrown, `addresses` is
        unchanged. Throws `std::bad_alloc` if memory cannot be obtained;
        nothing else.

        @return `true` if `scope` is accepted, with its entries appended
        to `addresses` after whatever it already held; `false` if it is
        rejected, with `addresses` left unchanged.

        @param scope The host scope to expand.

        @param addresses The vector to which the entries are appended.
        Existing elements are kept and stay in front.
    */
    static bool spread_scope_ip(const std::string& scope, std::vector<std::string>& addresses);
};

}  // namespace Kelvor
