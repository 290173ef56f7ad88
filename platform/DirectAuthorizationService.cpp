#include "platform/DirectAuthorizationService.h"

#include "platform/Process.h"

std::int32_t DirectAuthorizationService::create(std::uint32_t)
{
    return kSuccess;
}

std::int32_t DirectAuthorizationService::copyRights(const std::vector<RightsItem> &, std::uint32_t)
{
    return kSuccess;
}

std::int32_t DirectAuthorizationService::executeWithPrivileges(const QByteArray &toolPath, std::uint32_t,
                                                               const std::vector<QByteArray> &arguments,
                                                               std::int64_t *pid, const Streams &streams)
{
    const auto child = Process::spawn(toolPath, arguments, streams.input, false, streams.output, streams.error);
    if (!child)
        return kToolExecuteFailure;
    if (pid)
        *pid = *child;
    return kSuccess;
}

void DirectAuthorizationService::free(std::uint32_t) {}
