#pragma once

#include "platform/AuthorizationService.h"

// For a process that already has the rights it needs: running as root, or
// editing a volume the user owns (LUMORA_AUTH=direct). Rights are always
// held and tools run as the current user.
class DirectAuthorizationService final : public AuthorizationService {
public:
    std::int32_t create(std::uint32_t flags) override;
    std::int32_t copyRights(const std::vector<RightsItem> &items, std::uint32_t flags) override;
    std::int32_t executeWithPrivileges(const QByteArray &toolPath, std::uint32_t options,
                                       const std::vector<QByteArray> &arguments, std::int64_t *pid, const Streams &streams) override;
    void free(std::uint32_t flags) override;
};
