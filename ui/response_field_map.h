// Which template slot each field of the Response Strings dialog edits.
#pragma once

#include "support/response_fields.h"
#include "support/tracker_state.h"
#include "ui/resource.h"

// The fields show caps first, the slots keep FC frags first.
constexpr ResponseField kResponseFields[] = {
    {IDC_CAPS_EDIT, kSlotCaps},
    {IDC_FCFRAGS_EDIT, kSlotFcFrags},
    {IDC_RETURNS_EDIT, kSlotReturns},
    {IDC_NOWPLAYING_EDIT, kSlotNowPlaying},
};
constexpr std::size_t kResponseFieldCount = sizeof kResponseFields / sizeof kResponseFields[0];
