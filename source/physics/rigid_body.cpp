#include "physics/rigid_body.h"

void RigidBody::SetMassProperties(float newMass, const Matrix4& newBodyInertia) {
  mass = newMass;
  bodyInertia = newBodyInertia;
  const Matrix4 r = orientation.ToMatrix();
  const Matrix4 rT = r.Transpose();
  worldInertia = r * bodyInertia * rT;
  // `!(mass > 0)` also catches NaN.
  if (!(newMass > 0.0f)) {
    inverseMass = 0.0f;
    inverseWorldInertia = Matrix4::Zero();
    return;
  }
  inverseMass = 1.0f / newMass;
  // The tensor is diagonal in the body frame, so its inverse is the
  // reciprocal of the diagonal; the fourth diagonal entry stays as it is.
  Matrix4 inverseBody = bodyInertia;
  for (int i = 0; i < 3; ++i) inverseBody(i, i) = 1.0f / bodyInertia(i, i);
  inverseWorldInertia = r * inverseBody * rT;
}

void RigidBody::TakeSnapshot() {
  snapOrientation = orientation;
  snapPosition = position;
  snapAngularVelocity = angularVelocity;
  snapLinearVelocity = linearVelocity;
}

void RigidBody::Integrate(float dt, float damping, bool useWorldInertia) {
  const float keep = 1.0f - damping * dt;
  linearVelocity += force * (inverseMass * dt);
  linearVelocity *= keep;
  if (useWorldInertia) {
    angularVelocity += (inverseWorldInertia * dt) * torque;
  } else {
    angularVelocity += torque * dt;
  }
  angularVelocity *= keep;
  position += linearVelocity * dt;
  const Quaternion spin(0.0f, angularVelocity);
  orientation = orientation + (spin * orientation) * (0.5f * dt);
}
