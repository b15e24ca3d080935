#pragma once

namespace cantrel {

// The run engine's state beside the main window: filled by the run engine work.
class RunEngine {};

} // namespace cantrel
