#pragma once

// The target printer's build volume in mm; it scales the 3D view.
struct DeviceDescriptor
{
    float x = 65.02f;
    float y = 116.0f;
    float z = 135.0f;
};
