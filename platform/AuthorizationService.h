#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// What the runner needs from an authorization service: create a reference
// without asking, test a right without asking, request it with asking, run
// a tool as administrator, free the reference destroying its rights.
// Implementations: sudo, direct (already root or a volume the user owns),
// and the recording double of the tests.
class AuthorizationService {
public:
    // Flag values as the platform's authorization service numbers them.
    enum Flags : std::uint32_t {
        kDefaults = 0,
        kInteractionAllowed = 1,
        kExtendRights = 2,
        kDestroyRights = 8,
    };
    // Statuses; any other non-zero value is a refusal of the service.
    enum Status : std::int32_t {
        kSuccess = 0,
        kDenied = -60005,
        kCanceled = -60006,
        kInternal = -60008,
        kToolExecuteFailure = -60031,
    };

    struct RightsItem {
        QByteArray name;  // always "system.privilege.admin"
        QByteArray value; // the tool path
        std::uint32_t flags = 0;
    };

    // Where a tool's standard input comes from and its standard output and
    // error go: descriptors the caller opened with its own rights (-1: no
    // input, and the output inherited).
    struct Streams {
        int input = -1;
        int output = -1;
        int error = -1;
    };

    virtual ~AuthorizationService() = default;

    // A new reference with no rights; never asks the user.
    virtual std::int32_t create(std::uint32_t flags) = 0;
    // Status 0 exactly when every item is granted. Without
    // kInteractionAllowed the user is never involved.
    virtual std::int32_t copyRights(const std::vector<RightsItem> &items, std::uint32_t flags) = 0;
    // Starts the tool as administrator as a child of this process and gives
    // its process id; does not wait. `arguments` ends at the first absent one.
    virtual std::int32_t executeWithPrivileges(const QByteArray &toolPath, std::uint32_t options,
                                               const std::vector<QByteArray> &arguments, std::int64_t *pid,
                                               const Streams &streams) = 0;
    // Releases the reference; with kDestroyRights the rights go with it.
    virtual void free(std::uint32_t flags) = 0;
};
