// Points, directions and RGB colours, and the four-vector frames of the rig.
#pragma once

struct vec3 {
    float x, y, z;

    vec3() : x(0.0f), y(0.0f), z(0.0f) {}
    vec3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

    vec3 operator+(const vec3& b) const { return vec3(x + b.x, y + b.y, z + b.z); }
    // Left minus right: a - b points from b to a.
    vec3 operator-(const vec3& b) const { return vec3(x - b.x, y - b.y, z - b.z); }
    vec3 operator*(float s) const { return vec3(x * s, y * s, z * s); }
    // No zero test: callers divide only by 2, and retNrm checks the length first.
    vec3 operator/(float s) const { return vec3(x / s, y / s, z / s); }
};

// [0] a point (an axle centre in the rig), [1] forward, [2] side (left), [3] up.
struct positions {
    vec3 v[4];

    positions() : v{vec3(0, 0, 0), vec3(1, 0, 0), vec3(0, 0, 1), vec3(0, 1, 0)} {}

    vec3& operator[](int i) { return v[i]; }
    const vec3& operator[](int i) const { return v[i]; }
};

// Distance between two points.
float retDis(vec3 a, vec3 b);

// Unit vector from a towards b; (1, 0, 0) when the points coincide.
vec3 retNrm(vec3 a, vec3 b);
