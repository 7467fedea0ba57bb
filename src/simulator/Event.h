// Event is one scheduled completion: the group Action completes at Time,
// having been scheduled (sampled) at StartTime. A plain value; the action is
// not owned.
#ifndef EVENT_H
#define EVENT_H

class BaseActionClass;

class Event {
 public:
  Event() : Time(-1.0), StartTime(0), Action(nullptr) {}
  Event(double time, double startTime, BaseActionClass* action)
      : Time(time), StartTime(startTime), Action(action) {}

  double Time;
  double StartTime;
  BaseActionClass* Action;
};

#endif
