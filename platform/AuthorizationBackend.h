#pragma once

#include "platform/AuthorizationService.h"

#include <QString>

#include <memory>

class PasswordPrompt;

// Chooses the authorization back end for this process: direct when running
// as root or when LUMORA_AUTH=direct (a volume the user owns), sudo
// otherwise (LUMORA_AUTH=sudo forces it).
[[nodiscard]] std::unique_ptr<AuthorizationService> makeAuthorizationService(PasswordPrompt *prompt);

// "direct" or "sudo", as makeAuthorizationService() would choose.
[[nodiscard]] QString authorizationBackendName();
